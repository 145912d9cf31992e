// Whose the latest seal is, as removal decides it: the record's key serial exactly, and, where the seal
// carries a signed message or is a signature, the key's own certificate. Forged seals naming the user's key
// are left alone, and so is the real seal beneath them.
#include <gtest/gtest.h>

#include "support/Base64.h"
#include "tests/verify/SealedFiles.h"
#include "verify/DocumentVerification.h"
#include "verify/SealRemoval.h"

namespace sealrun::verify::testing {
namespace {

using sealrun::testing::SharedTestIdentity;
using sealrun::testing::TestIdentity;

const TestIdentity& Stranger() {
  static const TestIdentity stranger = [] {
    sealrun::testing::TestCertificateOptions options;
    options.commonName = "Forger";
    options.freshKey = true;
    return sealrun::testing::MakeSelfSignedForTesting(options);
  }();
  return stranger;
}

platform::crypto::Certificate CertificateOf(const TestIdentity& identity) {
  return *platform::crypto::Certificate::FromDer(identity.certificateDer);
}

class Ownership : public SealedFiles {
 protected:
  RemovalResult Remove(const std::filesystem::path& path, Form form, const SealOwner& owner) {
    return form == Form::SealAnnotation ? RemoveLatestSealAnnotation(engine_, Wide(path), 0, owner, outcome_)
                                        : RemoveLatestSignatureField(engine_, Wide(path), 0, owner, outcome_);
  }
  // The user's key: the test's shared identity signs its fields and messages.
  static SealOwner User(std::u16string serial = kOwnSerial) { return {std::move(serial), CertificateOf(SharedTestIdentity())}; }

  void ExpectKept(const std::filesystem::path& path, Form form, const SealOwner& owner, RemovalFailure why) {
    const std::string before = Bytes(path);
    const RemovalResult result = Remove(path, form, owner);
    ASSERT_FALSE(result.Removed());
    EXPECT_EQ(result.Failure(), why) << result.Reason();
    EXPECT_EQ(result.Code(), kNothingRemoved);
    EXPECT_EQ(Bytes(path), before) << "nothing written";
  }
};

TEST_F(Ownership, AKeySerialOwnsOnlyTheSealsWhoseRecordNamesItExactly) {
  const auto path = Base("serials.pdf");
  ASSERT_EQ(Seal(path, Form::SealAnnotation, kOwnSerial), 0);
  ASSERT_EQ(Seal(path, Form::SignatureField, kOwnSerial), 0);
  for (const Form form : {Form::SealAnnotation, Form::SignatureField}) {
    for (const std::u16string serial : {u"1", u"0001", u"ZQ-DEMO-000", u"ZQ-DEMO-0001;", u"KeySerial=ZQ-DEMO-0001"}) {
      ExpectKept(path, form, User(serial), RemovalFailure::OtherOwner);
    }
  }
  EXPECT_TRUE(RecordBelongsTo(u"sealIndex=-1\r\nKeyName=演示公章\r\nSignatureKeySN:ZQ-DEMO-0001;\r\n", kOwnSerial));
  EXPECT_FALSE(RecordBelongsTo(u"KeyName=ZQ-DEMO-0001\r\nKeySerial=ZQ-OTHER-0042\r\n", kOwnSerial));
  EXPECT_FALSE(RecordBelongsTo(u"KeySerial=ZQ-DEMO-0001\r\nSignatureKeySN:ZQ-OTHER-0042;\r\n", kOwnSerial))
      << "a record naming two keys is not the user's";
  EXPECT_FALSE(RecordBelongsTo(u"KeyName=ZQ-DEMO-0001\r\n", kOwnSerial)) << "no key-serial line at all";
  EXPECT_EQ(Remove(path, Form::SealAnnotation, User()).Code(), kSealRemoved);
  EXPECT_EQ(Remove(path, Form::SignatureField, User()).Code(), kSealRemoved);
}

TEST_F(Ownership, AnotherKeysSealWhoseKeyNameHoldsTheUsersSerialIsNotTheUsers) {
  const auto path = Base("key-name.pdf");
  ASSERT_EQ(Seal(path, Form::SealAnnotation, kOtherSerial), 0);
  const DocumentHandle document = OpenDocument(engine_, Wide(path));
  ASSERT_TRUE(document);
  std::u16string record = ExamineSealAnnotations(document.get()).seals.at(0).record;
  const std::size_t name = record.find(u"KeyName=");
  ASSERT_NE(name, std::u16string::npos);
  record.insert(name + 8, u"ZQ-DEMO-0001 ");
  const auto renamed = Tamper("set-record", path, support::SealInfoEncode(Utf16LeBytes(record)));
  ExpectKept(renamed, Form::SealAnnotation, User(), RemovalFailure::OtherOwner);
}

TEST_F(Ownership, AForgedSealNamingTheUsersSerialWithAnotherCertificateIsNotRemovedNorIsTheSealBeneathIt) {
  for (const Form form : {Form::SealAnnotation, Form::SignatureField}) {
    SCOPED_TRACE(form == Form::SealAnnotation ? "seal annotations" : "signature fields");
    const auto path = Base(form == Form::SealAnnotation ? "forged-seal.pdf" : "forged-field.pdf");
    // The user's own seal, then one made by a forger whose record names the user's key.
    SignFieldsWith(SharedTestIdentity());
    SignMessagesWith(SharedTestIdentity());
    ASSERT_EQ(Seal(path, form, kOwnSerial), 0);
    SignFieldsWith(Stranger());
    SignMessagesWith(Stranger());
    ASSERT_EQ(Seal(path, form, kOwnSerial), 0);
    ExpectKept(path, form, User(), RemovalFailure::OtherCertificate);
    const RemovalResult result = Remove(path, form, User());
    EXPECT_EQ(result.Remark(), std::u16string(kNotTheKeysSealText));
    EXPECT_EQ(result.RowHighlight(), Highlight::Yes);
  }
}

TEST_F(Ownership, TheUsersSealsWithSignedMessagesGoAndProofThatDoesNotVerifyKeepsTheSeal) {
  SignMessagesWith(SharedTestIdentity());
  const auto own = Base("own-message.pdf");
  ASSERT_EQ(Seal(own, Form::SealAnnotation), 0);
  EXPECT_EQ(Remove(own, Form::SealAnnotation, User()).Code(), kSealRemoved);

  // A message over data that is not the stored fingerprint: nobody can tell who made the seal.
  messageSigner_ = [](std::u16string_view, std::u16string_view, std::u16string& certificateText) {
    certificateText = platform::text::Utf8ToUtf16(SharedTestIdentity().certificatePem);
    const auto der = sealrun::testing::SignMessageForTesting(SharedTestIdentity(), "not the fingerprint",
                                                             sealrun::testing::MessageData::Attached);
    return platform::text::Widen(support::Base64Encode(der));
  };
  const auto unproven = Base("unproven.pdf");
  ASSERT_EQ(Seal(unproven, Form::SealAnnotation), 0);
  ExpectKept(unproven, Form::SealAnnotation, User(), RemovalFailure::MakerUnknown);
  EXPECT_EQ(Remove(unproven, Form::SealAnnotation, User()).Remark(), std::u16string(kMakerUnknownText));

  // A field whose signed bytes changed in place no longer proves its maker.
  const auto field = Base("changed-field.pdf");
  ASSERT_EQ(Seal(field, Form::SignatureField), 0);
  ExpectKept(Tamper("flip-content", field), Form::SignatureField, User(), RemovalFailure::MakerUnknown);
}

TEST_F(Ownership, AKeyWithoutACertificateOwnsOnlySealsWithoutProof) {
  const SealOwner noCertificate{kOwnSerial, std::nullopt};
  const auto field = Base("field.pdf");
  ASSERT_EQ(Seal(field, Form::SignatureField), 0);
  ExpectKept(field, Form::SignatureField, noCertificate, RemovalFailure::OtherCertificate);
  SignMessagesWith(SharedTestIdentity());
  const auto withMessage = Base("with-message.pdf");
  ASSERT_EQ(Seal(withMessage, Form::SealAnnotation), 0);
  ExpectKept(withMessage, Form::SealAnnotation, noCertificate, RemovalFailure::OtherCertificate);
  messageSigner_ = nullptr;
  const auto plain = Base("no-message.pdf");
  ASSERT_EQ(Seal(plain, Form::SealAnnotation), 0);
  EXPECT_EQ(Remove(plain, Form::SealAnnotation, noCertificate).Code(), kSealRemoved);
}

}  // namespace
}  // namespace sealrun::verify::testing
