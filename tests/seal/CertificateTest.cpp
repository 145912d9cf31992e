// Signer certificate, validation messages and seal message signing against the stand-in certificate library.
#include <string>

#include "platform/text/Utf.h"
#include "platform/ui/Messages.h"
#include "support/Base64.h"
#include "seal/CertificateValidation.h"
#include "seal/SealMessage.h"
#include "seal/SignerCertificate.h"
#include "tests/seal/FakeComponentFixture.h"
#include "tests/testsupport/TestCertificates.h"

namespace sealrun::seal::testing {
namespace {

using ::testing::ElementsAre;
using platform::com::Variant;

std::string Escaped(std::string text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\\n") : std::string(1, c);
  return out;
}

class CertificateTest : public FakeComponentTest {
 protected:
  // The stand-in library answers CertContext with this text.
  void UseCertificateText(const std::string& text, const std::string& more = {}) {
    sealrun::testing::WriteFileBytes(Temp() / "cert.txt", text);
    Configure("certfile=" + (Temp() / "cert.txt").string() + "\n" + more);
  }
};

TEST_F(CertificateTest, EveryValidationCodeGetsItsMessage) {
  const std::pair<int, std::u16string> table[] = {
      {1, u"VRL272_验证签章人证书失败，签章人证书已过期或未生效！"},
      {2, u"VRL274 验证签章人证书失败，签章人证书根证书验证未通过!"},
      {3, u"VRL270_验证签章人证书失败，签章人证书已被吊销！"},
      {4, u"VRL276 验证签章人证书失败，签章人证书根证书安装未成功!"},
      {5, u"VRL266_验证签章人证书失败，未检测到签章人证书吊销列表！"},
      {6, u"VRL260_验证签章人证书失败，未检测到签章人证书！"},
      {7, u"VRL262_验证签章人根证书失败，未检测到签章人根证书！"},
      {8, u"VRL264_验证签章人根证书失败，签章人证书与该证书的根证书不匹配！"},
      {9, u"VRL268_验证签章人证书失败，签章人证书与该证书吊销列表不匹配！"},
  };
  for (const auto& [code, text] : table) {
    UseCertificateText("-----BEGIN CERTIFICATE-----\n", "validity=" + std::to_string(code) + "\n");
    const int32_t answer = ValidateSignerCertificate(u"");
    EXPECT_EQ(answer, code);
    EXPECT_FALSE(ValidationLetsRunStart(answer));
    ShowValidationMessage(answer);
    ASSERT_EQ(MessageBoxes().size(), static_cast<size_t>(code));
    const auto& box = MessageBoxes().back();
    EXPECT_EQ(box.text, text) << "code " << code;
    EXPECT_EQ(box.caption, u"提示");
    EXPECT_EQ(box.style, platform::ui::kMbIconError);
  }
}

TEST_F(CertificateTest, ValidAnUnknownCodeAndALibraryThatDoesNotAnswer) {
  Configure("validity=12\n");
  EXPECT_EQ(ValidateSignerCertificate(u""), 12);
  ShowValidationMessage(12);
  EXPECT_TRUE(MessageBoxes().empty()) << "code 12 shows nothing";
  EXPECT_FALSE(ValidationLetsRunStart(12)) << "and the run does not start";

  Configure("validity=0\n");
  EXPECT_EQ(ValidateSignerCertificate(u""), 0);
  EXPECT_TRUE(ValidationLetsRunStart(0));

  for (const char* config : {"unknown=VerifyCertValidity2\nvalidity=3\n", "fail=VerifyCertValidity2\nvalidity=3\n",
                             "nocreate=CertLibrary\nvalidity=3\n"}) {
    Configure(config);
    const int32_t code = ValidateSignerCertificate(u"");
    EXPECT_EQ(code, kValidationNotAnswered) << config;
    EXPECT_TRUE(ValidationLetsRunStart(code));
    ShowValidationMessage(code);
  }
  EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(CertificateTest, ValidationPassesTheFilesBesideTheModuleAndTraces) {
  const std::string pem = sealrun::testing::SharedTestIdentity().certificatePem;
  UseCertificateText(pem);
  sealrun::testing::ScopedEnv moduleDir("SEALRUN_MODULE_DIR", (Temp() / "module").string());
  sealrun::testing::ScopedEnv debug("SEALRUN_DEBUG", "1");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ValidateSignerCertificate(u"My CSP"), 0);
  const std::string traces = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(traces,
            "ZQ_Ortavex2018_Normal_开始通过Zizizirez验证证书\nZQ_Ortavex2018_Normal_结束通过Zizizirez验证证书\n");
  const std::string module = (Temp() / "module").string();
  EXPECT_THAT(Calls(), ElementsAre("CertLibrary.CSPName put BSTR:My CSP", "CertLibrary.GetContainer method",
                                   "CertLibrary.CertContext get",
                                   "CertLibrary.VerifyCertValidity2 method BSTR:" + Escaped(pem) + " BSTR:" + module +
                                       "/ZQ_Root.cer BSTR:" + module + "/ZQ_Crl.crl I4:1"));
}

TEST_F(CertificateTest, NoContainerRetriesWithTheConfiguredProvider) {
  const auto& identity = sealrun::testing::SharedTestIdentity();
  UseCertificateText(identity.certificatePem, "provider=Configured CSP\n");
  const auto certificate = GetSignerCertificate(u"", u"Configured CSP");
  ASSERT_TRUE(certificate.has_value());
  EXPECT_EQ(certificate->Der(), identity.certificateDer);
  EXPECT_THAT(Calls(), ElementsAre("CertLibrary.GetContainer method", "CertLibrary.CSPName put BSTR:Configured CSP",
                                   "CertLibrary.GetContainer method", "CertLibrary.CertContext get"));
}

TEST_F(CertificateTest, CertificateTextWithoutArmourGivesNoCertificate) {
  const auto& der = sealrun::testing::SharedTestIdentity().certificateDer;
  UseCertificateText(support::Base64Encode(std::span<const uint8_t>(der)));
  EXPECT_FALSE(GetSignerCertificate(u"", u"").has_value()) << "valid Base64 without BEGIN";
  UseCertificateText("-----BEGIN CERTIFICATE-----\nnot a certificate\n-----END CERTIFICATE-----\n");
  EXPECT_FALSE(GetSignerCertificate(u"", u"").has_value());
  Configure("nocreate=CertLibrary\n");
  EXPECT_FALSE(GetSignerCertificate(u"", u"").has_value());
}

TEST_F(CertificateTest, DisplayNameWithAndWithoutEmail) {
  sealrun::testing::TestCertificateOptions options;
  options.commonName = "张三";
  const auto plain = platform::crypto::Certificate::FromPem(sealrun::testing::MakeSelfSignedForTesting(options).certificatePem);
  ASSERT_TRUE(plain.Ok());
  EXPECT_EQ(SignerDisplayName(*plain), u"张三");

  options.email = "zhang@example.cn";
  const auto withEmail =
      platform::crypto::Certificate::FromPem(sealrun::testing::MakeSelfSignedForTesting(options).certificatePem);
  ASSERT_TRUE(withEmail.Ok());
  EXPECT_EQ(SignerDisplayName(*withEmail), u"张三<zhang@example.cn>");
}

TEST_F(CertificateTest, SealMessageIsSignedInTheLibrarysOrder) {
  UseCertificateText("-----BEGIN CERTIFICATE-----\nX\n");
  Variant slot;
  EXPECT_EQ(SignSealMessage(u"FINGERPRINT", u"4711", slot, u"KEY-7", u"S-3", u""), u"SIGNED(FINGERPRINT)");
  EXPECT_EQ(platform::com::VT_BSTR, slot.Type());
  EXPECT_EQ(slot.AsString(), u"-----BEGIN CERTIFICATE-----\nX\n");
  EXPECT_THAT(Calls(),
              ElementsAre("CertLibrary.SetParams method BSTR:KEY-7 BSTR:S-3 EMPTY EMPTY EMPTY EMPTY EMPTY EMPTY "
                          "EMPTY EMPTY EMPTY I4:0",
                          "CertLibrary.CardPin put BSTR:4711", "CertLibrary.GetContainer method",
                          "CertLibrary.CertContext get",
                          "CertLibrary.GetCertificate method BSTR:-----BEGIN CERTIFICATE-----\\nX\\n",
                          "CertLibrary.CrySignMessage method BSTR:FINGERPRINT I4:11", "CertLibrary.CertContext get",
                          "CertLibrary.SignMessage get"));
}

TEST_F(CertificateTest, SealMessageNotSigned) {
  // A key with a signer that does not sign (a token pulled out) is told apart from a key without a signer.
  UseCertificateText("-----BEGIN CERTIFICATE-----\n", "signed=0\n");
  Variant slot;
  EXPECT_EQ(SignSealMessage(u"FP", u"4711", slot, u"", u"S-3", u"CSP"), std::nullopt);
  EXPECT_TRUE(Called("CertLibrary.CSPName put BSTR:CSP"));
  EXPECT_FALSE(Called("CertLibrary.SetParams")) << "no key serial";
  EXPECT_FALSE(Called("CertLibrary.SignMessage"));

  Configure("nocreate=CertLibrary\n");
  Variant untouched(u"kept");
  EXPECT_EQ(SignSealMessage(u"FP", u"4711", untouched, u"K", u"S", u""), u"") << "no library: no signer";
  EXPECT_EQ(untouched.AsString(), u"kept");

  UseCertificateText("");
  ClearCalls();
  Variant empty;
  EXPECT_EQ(SignSealMessage(u"FP", u"4711", empty, u"K", u"S", u""), u"") << "no certificate: no signer";
  EXPECT_FALSE(Called("CertLibrary.CrySignMessage"));
}

}  // namespace
}  // namespace sealrun::seal::testing
