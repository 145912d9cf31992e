// Creation through the registry, and the key container: which key GetContainer opens and what
// CertContext hands out.
#include <gtest/gtest.h>

#include "components/certlib/CertLibraryIds.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/InvokeByName.h"
#include "platform/crypto/Certificate.h"
#include "tests/components/certlib/CertLibraryTestSupport.h"

namespace sealrun::components::certlib::testing {
namespace {

using platform::crypto::Certificate;

TEST_F(CertLibraryTest, RegisteredClassIsCreatedByClassIdAndProgIdAndAnswersEveryMember) {
  com::CLSID fromProgId{};
  ASSERT_EQ(com::CLSIDFromProgID(u"Sealrun.CertLibrary", &fromProgId), com::S_OK);
  EXPECT_EQ(fromProgId, kCertLibraryClsid);
  ASSERT_EQ(com::CLSIDFromProgID(u"Sealrun.CertLibrary.1", &fromProgId), com::S_OK);
  EXPECT_EQ(fromProgId, kCertLibraryClsid);

  const auto library = Create();
  ASSERT_TRUE(library);
  for (const char16_t* name : {u"CSPName", u"GetContainer", u"CertContext", u"VerifyCertValidity2", u"SetParams",
                               u"CardPin", u"GetCertificate", u"CrySignMessage", u"SignMessage"}) {
    com::DISPID id = 0;
    EXPECT_EQ(com::GetDispatchId(library.Get(), name, id), com::S_OK) << Utf8(name);
  }
  com::DISPID id = 0;
  EXPECT_NE(com::GetDispatchId(library.Get(), u"VerifyCertValidity", id), com::S_OK);
}

TEST_F(CertLibraryTest, WithoutAnInsertedKeyNoContainerOpensAndCertContextIsEmpty) {
  const auto library = Create();
  ASSERT_TRUE(library);
  EXPECT_EQ(CertContext(library.Get()), u"");
  EXPECT_EQ(GetContainer(library.Get()), 0);
  EXPECT_EQ(CertContext(library.Get()), u"");
}

TEST_F(CertLibraryTest, OpenContainerHandsOutTheSignerCertificateAsPem) {
  WriteKey(Pki().signer);
  const auto library = Create();
  ASSERT_TRUE(library);
  EXPECT_EQ(CertContext(library.Get()), u"") << "nothing before the container is opened";
  ASSERT_NE(GetContainer(library.Get()), 0);
  const std::u16string pem = CertContext(library.Get());
  EXPECT_NE(pem.find(u"-----BEGIN CERTIFICATE-----"), std::u16string::npos);
  auto certificate = Certificate::FromPem(Utf8(pem));
  ASSERT_TRUE(certificate);
  EXPECT_EQ(certificate->Der(), Pki().signer.certificateDer);

  RemoveKey();
  EXPECT_EQ(GetContainer(library.Get()), 0) << "a removed key is seen at the next opening";
  EXPECT_EQ(CertContext(library.Get()), u"");
}

TEST_F(CertLibraryTest, ProviderNameSelectsTheInsertedKeyOrNothing) {
  WriteKey(Pki().signer);
  const auto library = Create();
  ASSERT_TRUE(library);
  PutCspName(library.Get(), u"");
  EXPECT_NE(GetContainer(library.Get()), 0) << "an empty name selects the inserted key";
  PutCspName(library.Get(), u"Microsoft Enhanced Cryptographic Provider v1.0");
  EXPECT_EQ(CertContext(library.Get()), u"") << "another provider closes what the old one opened";
  EXPECT_EQ(GetContainer(library.Get()), 0);
  EXPECT_EQ(CertContext(library.Get()), u"");
  PutCspName(library.Get(), u"sealrun soft key CSP");
  EXPECT_NE(GetContainer(library.Get()), 0) << "provider names compare without regard to case";
}

TEST_F(CertLibraryTest, BrokenKeysOpenNoContainer) {
  struct Case {
    const char* label;
    std::string signerElement;
    std::string signerPem;
  };
  sealrun::testing::WriteFileBytes(KeyDir().parent_path() / "outside.pem", Pki().signer.certificatePem);
  const Case cases[] = {
      {"no Signer element", "", Pki().signer.certificatePem},
      {"signer.pem is not a certificate", R"(<Signer certificate="signer.pem" pkcs12="signer.p12"/>)",
       "-----BEGIN CERTIFICATE-----\nnot base64 at all\n-----END CERTIFICATE-----\n"},
      {"certificate outside the key folder", R"(<Signer certificate="../outside.pem" pkcs12="signer.p12"/>)",
       Pki().signer.certificatePem},
      {"absolute certificate path", "<Signer certificate=\"" + (KeyDir().parent_path() / "outside.pem").string() +
                                        "\" pkcs12=\"signer.p12\"/>",
       Pki().signer.certificatePem},
  };
  const auto library = Create();
  ASSERT_TRUE(library);
  for (const Case& c : cases) {
    WriteKey(Pki().signer, kProvider, c.signerElement);
    sealrun::testing::WriteFileBytes(KeyDir() / "signer.pem", c.signerPem);
    EXPECT_EQ(GetContainer(library.Get()), 0) << c.label;
    EXPECT_EQ(CertContext(library.Get()), u"") << c.label;
  }
  sealrun::testing::WriteFileBytes(KeyDir() / "key.xml", "<SealKey><Serial>x</Serial>");
  EXPECT_EQ(GetContainer(library.Get()), 0) << "key.xml that is not well-formed";
}

}  // namespace
}  // namespace sealrun::components::certlib::testing
