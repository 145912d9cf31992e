// Who made a seal: a seal annotation's signed message over the fingerprint its record stores, the signer of
// a signature field, and a document timestamp's token; signers judged against the installed root and
// revocation list when validation is on, and the record's key serial against the signer's certificate.
// Messages and certificates are made with OpenSSL, seals by the real stamping, edits by tamper.py.
#include <gtest/gtest.h>

#include <cstdio>

#include "support/Base64.h"
#include "tests/verify/SealedFiles.h"
#include "verify/DocumentFingerprint.h"
#include "verify/DocumentVerification.h"

namespace sealrun::verify::testing {
namespace {

using sealrun::testing::MessageData;
using sealrun::testing::TestIdentity;

// A root as an installation puts it beside the module, a signer it issued, and a stranger who signed his own
// certificate.
struct Pki {
  TestIdentity root;
  TestIdentity trusted;
  TestIdentity stranger;
  TestIdentity otherKey;  // issued by the root for the key ZQ-OTHER-0042, which its subject carries
};

const Pki& TestPki() {
  static const Pki pki = [] {
    Pki made;
    sealrun::testing::TestCertificateOptions root;
    root.commonName = "Sealrun Test Root";
    root.isCa = true;
    root.freshKey = true;
    made.root = sealrun::testing::MakeSelfSignedForTesting(root);
    sealrun::testing::TestCertificateOptions trusted;
    trusted.commonName = "Trusted Signer";
    trusted.serial = 0x2001;
    made.trusted = sealrun::testing::MakeIssuedForTesting(made.root, trusted);
    sealrun::testing::TestCertificateOptions stranger;
    stranger.commonName = "Self-Made Signer";
    stranger.freshKey = true;
    made.stranger = sealrun::testing::MakeSelfSignedForTesting(stranger);
    sealrun::testing::TestCertificateOptions otherKey;
    otherKey.commonName = "Other Key Signer";
    otherKey.serial = 0x2002;
    otherKey.subjectSerialNumbers = {"ZQ-OTHER-0042"};
    made.otherKey = sealrun::testing::MakeIssuedForTesting(made.root, otherKey);
    return made;
  }();
  return pki;
}

class SignerChecks : public SealedFiles {
 protected:
  // The module folder of a run: the root certificate and a revocation list of the serials given.
  std::filesystem::path InstallRoot(const std::vector<std::uint64_t>& revoked = {}) {
    const auto folder = temp_ / "module";
    std::filesystem::create_directories(folder);
    const auto& root = TestPki().root;
    sealrun::testing::WriteFileBytes(folder / "ZQ_Root.cer", std::string(root.certificateDer.begin(), root.certificateDer.end()));
    const auto list = sealrun::testing::MakeRevocationListForTesting(root, revoked);
    sealrun::testing::WriteFileBytes(folder / "ZQ_Crl.crl", std::string(list.begin(), list.end()));
    return folder;
  }
  static SignerTrust Validating(const std::filesystem::path& folder) { return SignerTrust::Load({true, folder}); }

  std::vector<SealVerdict> Examine(const std::filesystem::path& path, Form form, const SignerTrust& trust = {}) {
    const DocumentHandle document = OpenDocument(engine_, Wide(path));
    if (!document) return {};
    return (form == Form::SealAnnotation ? ExamineSealAnnotations(document.get(), trust)
                                         : ExamineSignatureFields(document.get(), trust))
        .seals;
  }
  // The one seal of the file.
  SealVerdict Only(const std::filesystem::path& path, Form form, const SignerTrust& trust = {}) {
    auto seals = Examine(path, form, trust);
    EXPECT_EQ(seals.size(), 1u);
    return seals.empty() ? SealVerdict{} : seals.front();
  }
  std::u16string FingerprintOf(const std::filesystem::path& path) {
    const DocumentHandle document = OpenDocument(engine_, Wide(path));
    DocumentFingerprint fingerprint(document.get());
    return document ? fingerprint.ComputeDocumentFingerprint().value_or(u"") : u"";
  }
};

using Findings = std::vector<Finding>;

TEST_F(SignerChecks, SignedMessagesVerifyOverTheStoredFingerprintInEveryPlausibleForm) {
  const auto module = InstallRoot();
  int n = 0;
  for (const MessageData form : {MessageData::Attached, MessageData::Detached}) {
    for (const Encoding encoding : {Encoding::Utf8, Encoding::Utf16Le}) {
      SCOPED_TRACE(std::string(form == MessageData::Attached ? "attached" : "detached") +
                   (encoding == Encoding::Utf8 ? ", UTF-8" : ", UTF-16LE"));
      SignMessagesWith(TestPki().trusted, form, encoding);
      const auto path = Base("message-" + std::to_string(n++) + ".pdf");
      ASSERT_EQ(Seal(path, Form::SealAnnotation), 0);
      const SealVerdict seal = Only(path, Form::SealAnnotation, Validating(module));
      EXPECT_TRUE(seal.valid);
      EXPECT_EQ(seal.findings, Findings{});
    }
  }
  // The certificate kept only in /certContext, not in the message.
  SignMessagesWith(TestPki().trusted, MessageData::Attached, Encoding::Utf8, nullptr, false);
  const auto bare = Base("bare-message.pdf");
  ASSERT_EQ(Seal(bare, Form::SealAnnotation), 0);
  EXPECT_TRUE(Only(bare, Form::SealAnnotation, Validating(module)).valid);
}

TEST_F(SignerChecks, AnEditedRecordWithAnIntactSignedMessageIsInvalid) {
  for (const bool signedMessage : {true, false}) {
    SCOPED_TRACE(signedMessage ? "with a signed message" : "without a signed message");
    messageSigner_ = nullptr;
    if (signedMessage) SignMessagesWith(TestPki().trusted);
    const auto path = Base(signedMessage ? "signed.pdf" : "unsigned.pdf");
    ASSERT_EQ(Seal(path, Form::SealAnnotation), 0);
    const std::u16string sealedFingerprint = FingerprintOf(path);
    const std::u16string record = Only(path, Form::SealAnnotation).record;

    // The page's text is changed, then the record is made to store the new fingerprint and another signer.
    const auto changed = Tamper("content-update", path);
    const std::u16string changedFingerprint = FingerprintOf(changed);
    ASSERT_NE(changedFingerprint, sealedFingerprint);
    std::u16string edited = record;
    edited.replace(edited.find(sealedFingerprint), sealedFingerprint.size(), changedFingerprint);
    edited.replace(edited.find(u"UserName=Tester"), 15, u"UserName=Forger");
    const std::string bytes = Utf16LeBytes(edited);
    const auto forged = Tamper("set-record", changed, support::SealInfoEncode(bytes));

    const SealVerdict seal = Only(forged, Form::SealAnnotation);
    ASSERT_NE(seal.record.find(u"UserName=Forger"), std::u16string::npos);
    ASSERT_NE(seal.record.find(FingerprintOf(forged)), std::u16string::npos) << "the forged record passes the fingerprint";
    if (signedMessage) {
      EXPECT_FALSE(seal.valid) << "the message signs the fingerprint the seal was made over";
      EXPECT_EQ(seal.findings, Findings{Finding::SignedMessageInvalid});
    } else {
      // Without a message nothing but the record says what was sealed: the note says so.
      EXPECT_EQ(seal.findings, Findings{Finding::NoteNoSignedMessage});
    }
  }
}

TEST_F(SignerChecks, AMessageByAnotherCertificateThanCertContextNamesIsInvalid) {
  const auto& pki = TestPki();
  // Signed by the stranger, /certContext naming the trusted signer: carried in the message or not.
  for (const bool carried : {true, false}) {
    SignMessagesWith(pki.stranger, MessageData::Attached, Encoding::Utf8, &pki.trusted, carried);
    const auto path = Base(carried ? "other-carried.pdf" : "other-bare.pdf");
    ASSERT_EQ(Seal(path, Form::SealAnnotation), 0);
    const SealVerdict seal = Only(path, Form::SealAnnotation);
    EXPECT_FALSE(seal.valid);
    EXPECT_EQ(seal.findings, Findings{Finding::SignedMessageInvalid});
  }
}

TEST_F(SignerChecks, ASealWithoutAMessageIsValidWithItsNote) {
  const auto path = Base("no-message.pdf");
  ASSERT_EQ(Seal(path, Form::SealAnnotation), 0);
  for (const SignerTrust& trust : {SignerTrust(), Validating(InstallRoot())}) {
    const SealVerdict seal = Only(path, Form::SealAnnotation, trust);
    EXPECT_TRUE(seal.valid);
    EXPECT_EQ(seal.findings, Findings{Finding::NoteNoSignedMessage});
  }
  // The batch counts it as valid.
  EXPECT_EQ(VerifySealAnnotations(engine_, Wide(path), 0, outcome_).Text(), u"印章总数:1 有效:1 失效:0");
}

TEST_F(SignerChecks, MessagesOfUntrustedSignersAreInvalidOnlyWhenValidationIsOn) {
  const auto& pki = TestPki();
  SignMessagesWith(pki.stranger);
  const auto selfMade = Base("self-made.pdf");
  ASSERT_EQ(Seal(selfMade, Form::SealAnnotation), 0);
  SignMessagesWith(pki.trusted);
  const auto trusted = Base("trusted.pdf");
  ASSERT_EQ(Seal(trusted, Form::SealAnnotation), 0);

  EXPECT_TRUE(Only(selfMade, Form::SealAnnotation).valid) << "validation off";
  const auto module = InstallRoot();
  SealVerdict seal = Only(selfMade, Form::SealAnnotation, Validating(module));
  EXPECT_FALSE(seal.valid);
  EXPECT_EQ(seal.findings, Findings{Finding::SignerUntrusted});
  EXPECT_TRUE(Only(trusted, Form::SealAnnotation, Validating(module)).valid);

  // Revoked by the installed list; and no list, or no root, trusts nobody.
  EXPECT_EQ(Only(trusted, Form::SealAnnotation, Validating(InstallRoot({0x2001}))).findings, Findings{Finding::SignerUntrusted});
  InstallRoot();
  std::filesystem::remove(module / "ZQ_Crl.crl");
  EXPECT_EQ(Only(trusted, Form::SealAnnotation, Validating(module)).findings, Findings{Finding::SignerUntrusted});
  EXPECT_EQ(Only(trusted, Form::SealAnnotation, Validating(temp_ / "nothing-installed")).findings,
            Findings{Finding::SignerUntrusted});
}

TEST_F(SignerChecks, AFieldSignedByASelfMadeCertificateIsInvalidWithValidationOnAndValidWithItOff) {
  const auto& pki = TestPki();
  SignFieldsWith(pki.stranger);
  const auto selfMade = Base("self-made-field.pdf");
  ASSERT_EQ(Seal(selfMade, Form::SignatureField), 0);
  SignFieldsWith(pki.trusted);
  const auto trusted = Base("trusted-field.pdf");
  ASSERT_EQ(Seal(trusted, Form::SignatureField), 0);
  const auto module = InstallRoot();

  SealVerdict seal = Only(selfMade, Form::SignatureField);
  EXPECT_TRUE(seal.valid);
  EXPECT_EQ(seal.findings, Findings{});
  seal = Only(selfMade, Form::SignatureField, Validating(module));
  EXPECT_FALSE(seal.valid);
  EXPECT_EQ(seal.findings, Findings{Finding::SignerUntrusted});
  EXPECT_EQ(VerifySignatureFields(engine_, Wide(selfMade), 0, outcome_, Validating(module)).Text(),
            u"印章总数:1 有效:0 失效:1");

  seal = Only(trusted, Form::SignatureField, Validating(module));
  EXPECT_TRUE(seal.valid);
  EXPECT_EQ(seal.findings, Findings{});
  EXPECT_EQ(Only(trusted, Form::SignatureField, Validating(InstallRoot({0x2001}))).findings,
            Findings{Finding::SignerUntrusted});
}

TEST_F(SignerChecks, ARecordsKeySerialMustNotContradictTheSignersCertificate) {
  const auto& pki = TestPki();
  const auto module = InstallRoot();
  // The certificate carries ZQ-OTHER-0042: a record naming that key agrees, one naming another contradicts.
  SignFieldsWith(pki.otherKey);
  SignMessagesWith(pki.otherKey);
  for (const Form form : {Form::SignatureField, Form::SealAnnotation}) {
    SCOPED_TRACE(form == Form::SignatureField ? "signature field" : "seal annotation");
    const auto agreeing = Base(form == Form::SignatureField ? "agreeing-field.pdf" : "agreeing-seal.pdf");
    ASSERT_EQ(Seal(agreeing, form, kOtherSerial), 0);
    EXPECT_TRUE(Only(agreeing, form, Validating(module)).valid);
    const auto forged = Base(form == Form::SignatureField ? "forged-field.pdf" : "forged-seal.pdf");
    ASSERT_EQ(Seal(forged, form, kOwnSerial), 0);
    for (const SignerTrust& trust : {SignerTrust(), Validating(module)}) {
      const SealVerdict seal = Only(forged, form, trust);
      EXPECT_FALSE(seal.valid);
      EXPECT_EQ(seal.findings, Findings{Finding::SerialContradictsSigner});
    }
  }
  // A certificate that carries no key serial (the demo key's kind) contradicts no record.
  SignFieldsWith(pki.trusted);
  const auto plain = Base("plain-certificate.pdf");
  ASSERT_EQ(Seal(plain, Form::SignatureField, kOwnSerial), 0);
  EXPECT_TRUE(Only(plain, Form::SignatureField).valid);
}

TEST_F(SignerChecks, TheCorpusDocumentTimestampIsValidAndATamperedOneInvalid) {
  const auto path = Copy(sealrun::testing::CorpusFile("pyhanko-pades-lta-dss-indirect-arrs-test.pdf"), "stamped.pdf");
  auto seals = Examine(path, Form::SignatureField);
  ASSERT_EQ(seals.size(), 2u);
  EXPECT_TRUE(seals[0].valid);
  EXPECT_TRUE(seals[1].valid) << "the document timestamp";
  EXPECT_EQ(seals[1].findings, Findings{});
  // The installed root is the seal signers': it judges the PAdES signer, not the time-stamping authority.
  seals = Examine(path, Form::SignatureField, Validating(InstallRoot()));
  ASSERT_EQ(seals.size(), 2u);
  EXPECT_EQ(seals[0].findings, Findings{Finding::SignerUntrusted});
  EXPECT_TRUE(seals[1].valid);

  // The last hex digit of the token in the timestamp's /Contents (its signature value) changed in place.
  int64_t range[4] = {};
  {
    const DocumentHandle document = OpenDocument(engine_, Wide(path));
    ASSERT_TRUE(document);
    qp_field field = qp_field_next(qp_load_acroform_field(document.get()));
    const external::SignatureHandle signature(qp_field_get_signature(field));
    ASSERT_EQ(qp_signature_get_byte_range(signature.get(), range), QP_OK);
  }
  std::string bytes = Bytes(path);
  unsigned length = 0;
  ASSERT_EQ(std::sscanf(bytes.c_str() + range[1] + 5, "%4x", &length), 1);  // "<3082LLLL"
  const std::size_t lastDigit = static_cast<std::size_t>(range[1]) + 2 * (4 + length);
  bytes[lastDigit] = bytes[lastDigit] == '0' ? '1' : '0';
  const auto tampered = temp_ / "stamped-tampered.pdf";
  sealrun::testing::WriteFileBytes(tampered, bytes);
  seals = Examine(tampered, Form::SignatureField);
  ASSERT_EQ(seals.size(), 2u);
  EXPECT_TRUE(seals[0].valid);
  EXPECT_FALSE(seals[1].valid);
  EXPECT_EQ(seals[1].findings, Findings{Finding::TimestampInvalid});
}

}  // namespace
}  // namespace sealrun::verify::testing
