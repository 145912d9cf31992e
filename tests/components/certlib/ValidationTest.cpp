// VerifyCertValidity2 against real certificate variants: every code, and which one wins when several
// problems come together.
#include <gtest/gtest.h>

#include "platform/text/Utf.h"
#include "tests/components/certlib/CertLibraryTestSupport.h"

namespace sealrun::components::certlib::testing {
namespace {

using sealrun::testing::MakeIssuedForTesting;
using sealrun::testing::MakeRevocationListForTesting;
using sealrun::testing::MakeSelfSignedForTesting;
using sealrun::testing::TestCertificateOptions;
using sealrun::testing::TestIdentity;

constexpr std::int64_t kDay = 24 * 3600;

struct Variants {
  TestIdentity expired;
  TestIdentity notYetValid;
  TestIdentity otherRoot;          // another CA with another name
  TestIdentity sameNameOtherKey;   // a CA with the root's name but its own key
  TestIdentity signedBySameName;   // issued by that CA
};

const Variants& Made() {
  static const Variants variants = [] {
    Variants made;
    TestCertificateOptions options;
    options.serial = 0x3001;
    options.notBeforeOffset = -10 * kDay;
    options.notAfterOffset = -kDay;
    made.expired = MakeIssuedForTesting(Pki().root, options);
    options.serial = 0x3002;
    options.notBeforeOffset = kDay;
    options.notAfterOffset = 10 * kDay;
    made.notYetValid = MakeIssuedForTesting(Pki().root, options);

    TestCertificateOptions ca;
    ca.isCa = true;
    ca.freshKey = true;
    ca.commonName = "Another Root";
    made.otherRoot = MakeSelfSignedForTesting(ca);
    ca.commonName = "ZQ Test Root";
    ca.organization = "Sealrun";
    made.sameNameOtherKey = MakeSelfSignedForTesting(ca);
    made.signedBySameName = MakeIssuedForTesting(made.sameNameOtherKey, {});
    return made;
  }();
  return variants;
}

std::u16string Pem(const TestIdentity& identity) { return platform::text::Utf8ToUtf16(identity.certificatePem); }

class ValidationTest : public CertLibraryTest {
 protected:
  void SetUp() override {
    library_ = Create();
    ASSERT_TRUE(library_);
  }
  std::int32_t Verify(const std::u16string& certificate, std::int32_t mode = 1) {
    return VerifyCertValidity2(library_.Get(), certificate, RootPath(), ListPath(), mode);
  }
  void WriteList(const std::vector<std::uint8_t>& list) {
    sealrun::testing::WriteFileBytes(ModuleDir() / "ZQ_Crl.crl", std::string(list.begin(), list.end()));
  }
  void WriteRoot(const std::vector<std::uint8_t>& der) {
    sealrun::testing::WriteFileBytes(ModuleDir() / "ZQ_Root.cer", std::string(der.begin(), der.end()));
  }

  com::ComPtr<com::IDispatch> library_;
};

TEST_F(ValidationTest, TheKeysSignerFromCertContextIsValid) {
  WriteKey(Pki().signer);
  ASSERT_NE(GetContainer(library_.Get()), 0);
  EXPECT_EQ(Verify(CertContext(library_.Get())), 0);
  // The root may also be installed as PEM text.
  sealrun::testing::WriteFileBytes(ModuleDir() / "ZQ_Root.cer", Pki().root.certificatePem);
  EXPECT_EQ(Verify(CertContext(library_.Get())), 0);
}

TEST_F(ValidationTest, MissingOrUnreadableInputsGiveTheirCodes) {
  const std::u16string signer = Pem(Pki().signer);
  EXPECT_EQ(Verify(u""), 6) << "empty certificate text (no container open)";
  EXPECT_EQ(Verify(u"garbage \x0001\xFFFF text"), 6);
  std::string bare = Pki().signer.certificatePem;
  bare = bare.substr(bare.find('\n') + 1);
  bare = bare.substr(0, bare.find("-----END"));
  EXPECT_EQ(Verify(platform::text::Utf8ToUtf16(bare)), 6) << "valid Base64 without the armour";

  std::filesystem::remove(ModuleDir() / "ZQ_Crl.crl");
  EXPECT_EQ(Verify(signer), 5) << "no revocation list";
  EXPECT_EQ(Verify(signer, 0), 0) << "mode 0 leaves the list out";
  WriteList({'n', 'o', 't', ' ', 'a', ' ', 'l', 'i', 's', 't'});
  EXPECT_EQ(Verify(signer), 5) << "a file that is not a list is no list";

  WriteRoot({0x30, 0x82, 0x01});
  EXPECT_EQ(Verify(signer), 4) << "a root file that is not a certificate cannot be installed";
  std::filesystem::remove(ModuleDir() / "ZQ_Root.cer");
  EXPECT_EQ(Verify(signer), 7);
  EXPECT_EQ(Verify(u""), 6) << "the signer certificate is looked at first";

  EXPECT_EQ(VerifyCertValidity2(library_.Get(), signer, u"", u"", 1), 7) << "empty paths";
}

TEST_F(ValidationTest, SignerOutsideItsPeriodGivesOne) {
  EXPECT_EQ(Verify(Pem(Made().expired)), 1);
  EXPECT_EQ(Verify(Pem(Made().notYetValid)), 1);
  WriteList(MakeRevocationListForTesting(Pki().root, {0x3001}));
  EXPECT_EQ(Verify(Pem(Made().expired)), 1) << "the period is checked before the list";
}

TEST_F(ValidationTest, SignerOfAnotherRootGivesEightOrTwo) {
  EXPECT_EQ(Verify(Pem(Made().otherRoot)), 8) << "issuer name differs from the root";
  EXPECT_EQ(Verify(Pem(Made().signedBySameName)), 2) << "same issuer name, signature of another key";
  WriteRoot(Made().otherRoot.certificateDer);
  EXPECT_EQ(Verify(Pem(Pki().signer)), 8) << "the installed root is another one";
}

TEST_F(ValidationTest, RevocationListDecidesRevokedAndForeignLists) {
  const std::u16string signer = Pem(Pki().signer);
  WriteList(MakeRevocationListForTesting(Pki().root, {0x9999, kSignerSerial}));
  EXPECT_EQ(Verify(signer), 3);
  EXPECT_EQ(Verify(signer, 0), 0) << "mode 0 leaves the list out";

  WriteList(MakeRevocationListForTesting(Made().otherRoot, {}));
  EXPECT_EQ(Verify(signer), 9) << "a list of another issuer";
  WriteList(MakeRevocationListForTesting(Made().sameNameOtherKey, {kSignerSerial}));
  EXPECT_EQ(Verify(signer), 9) << "a list with the root's name not signed by the root";
  WriteList(MakeRevocationListForTesting(Pki().root, {}, -kDay));
  EXPECT_EQ(Verify(signer), 9) << "a list past its next update no longer vouches for the signer";

  WriteList(MakeRevocationListForTesting(Pki().root, {0x9999}));
  EXPECT_EQ(Verify(signer), 0) << "other serials on the list";
}

TEST_F(ValidationTest, ArgumentsOfOtherTypesAreAnsweredNotFailed) {
  const com::Variant result =
      Call(library_.Get(), u"VerifyCertValidity2", com::DISPATCH_METHOD,
           {com::Variant(42), com::Variant(RootPath()), com::Variant(ListPath()), com::Variant(1)});
  EXPECT_EQ(result.AsInt(), 6) << "a certificate that is no text is no certificate";

  std::filesystem::remove(ModuleDir() / "ZQ_Crl.crl");
  const com::Variant emptyMode =
      Call(library_.Get(), u"VerifyCertValidity2", com::DISPATCH_METHOD,
           {com::Variant(Pem(Pki().signer)), com::Variant(RootPath()), com::Variant(ListPath()), com::Variant()});
  EXPECT_EQ(emptyMode.AsInt(), 5) << "only an explicit mode 0 leaves the list out";
}

}  // namespace
}  // namespace sealrun::components::certlib::testing
