// The seal source against the real seal key and certificate library modules and the demo key.
#if defined(SEALRUN_SEALKEY_MODULE) && defined(SEALRUN_CERTLIB_MODULE)
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/com/ServerModule.h"
#include "platform/crypto/Cms.h"
#include "platform/crypto/KeyStore.h"
#include "platform/text/Utf.h"
#include "platform/ui/Backend.h"
#include "platform/ui/Controls.h"
#include "platform/ui/HeadlessBackend.h"
#include "seal/CertificateValidation.h"
#include "seal/KeyPin.h"
#include "seal/PinFlow.h"
#include "seal/SealCatalogue.h"
#include "seal/SealMessage.h"
#include "seal/SignerCertificate.h"
#include "support/Base64.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::seal::testing {
namespace {

namespace fs = std::filesystem;
const fs::path kDemoKey = SEALRUN_DEMO_KEY;

class DemoKeyTest : public ::testing::Test {
 protected:
  DemoKeyTest()
      : registry_("SEALRUN_REGISTRY", (temp_.Path() / "registry").string()),
        config_("XDG_CONFIG_HOME", (temp_.Path() / "config").string()),
        key_("SEALRUN_KEY", (temp_.Path() / "key").string()),
        moduleDir_("SEALRUN_MODULE_DIR", (temp_.Path() / "key").string()) {
    auto backend = std::make_unique<platform::ui::HeadlessBackend>();
    user_ = backend.get();
    scoped_ = std::make_unique<platform::ui::ScopedBackend>(std::move(backend));
  }

  void SetUp() override {
    const fs::path key = temp_.Path() / "key";
    fs::create_directories(key / "seals");
    for (const char* file : {"key.xml", "signer.pem", "signer.p12", "ZQ_Root.cer", "ZQ_Crl.crl"})
      fs::copy_file(kDemoKey / file, key / file);
    for (const auto& picture : fs::directory_iterator(kDemoKey / "seals"))
      fs::copy_file(picture.path(), key / "seals" / picture.path().filename());
    platform::crypto::KeyStore::Instance().Clear();
    for (const char* path : {SEALRUN_SEALKEY_MODULE, SEALRUN_CERTLIB_MODULE}) {
      void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
      ASSERT_NE(module, nullptr) << dlerror();
      modules_.push_back(module);
      const auto install = reinterpret_cast<platform::com::DllInstallFunction>(dlsym(module, "DllInstall"));
      ASSERT_NE(install, nullptr);
      ASSERT_EQ(install(1, u"user"), platform::com::S_OK);
    }
  }
  void TearDown() override {
    platform::crypto::KeyStore::Instance().Clear();
    for (void* module : modules_) dlclose(module);
  }

  platform::ui::HeadlessBackend* user_ = nullptr;

 private:
  sealrun::testing::TempDir temp_;
  sealrun::testing::ScopedEnv registry_;
  sealrun::testing::ScopedEnv config_;
  sealrun::testing::ScopedEnv key_;
  sealrun::testing::ScopedEnv moduleDir_;
  std::unique_ptr<platform::ui::ScopedBackend> scoped_;
  std::vector<void*> modules_;
};

TEST_F(DemoKeyTest, CatalogueOfTheDemoKey) {
  platform::ui::ComboBox sealList(1001);
  SealCatalogue catalogue;
  ASSERT_TRUE(catalogue.LoadSealCatalogue(sealList));
  EXPECT_EQ(catalogue.KeySerial(), u"ZQ-DEMO-0001");
  EXPECT_THAT(catalogue.ListedNames(), ::testing::ElementsAre(u"演示公章", u"演示合同章", u"演示财务章"));
  EXPECT_EQ(sealList.Count(), 3);
  EXPECT_EQ(catalogue.FindSealRecord(u"演示旧版章"), 3) << "the .bmp seal has its record but is not listed";
  EXPECT_EQ(catalogue.Records()[2].UnitName, u"演示单位财务部");
  EXPECT_EQ(catalogue.Records()[1].SerialNumber, u"DEMO-SEAL-0002");
  const auto bytes = catalogue.PictureBytes(catalogue.FindSealPicture(u"演示合同章"));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), sealrun::testing::ReadFileBytes(kDemoKey / "seals/contract.gif"));
}

TEST_F(DemoKeyTest, PinFlowsWithTheDemoPin) {
  EXPECT_EQ(RecallPin(), u"");
  EXPECT_FALSE(AcceptPinForRun(u"654321", true));
  EXPECT_EQ(user_->MessageBoxes().size(), 1u);
  EXPECT_EQ(RecallPin(), u"");
  ASSERT_TRUE(AcceptPinForRun(u"123456", true));
  EXPECT_EQ(RecallPin(), u"123456");
  EXPECT_FALSE(AcceptPinForRun(u"000000", false));
  EXPECT_EQ(RecallPin(), u"123456") << "a wrong PIN leaves the remembered one";
  ASSERT_TRUE(AcceptPinForRun(u"123456", false));
  EXPECT_EQ(RecallPin(), u"");
}

TEST_F(DemoKeyTest, SignerCertificateValidatesAndSignsAMessageThatVerifies) {
  EXPECT_EQ(ValidateSignerCertificate(u"Sealrun Soft Key CSP"), 0);
  const auto certificate = GetSignerCertificate(u"", u"Sealrun Soft Key CSP");
  ASSERT_TRUE(certificate.has_value());
  EXPECT_EQ(SignerDisplayName(*certificate), u"演示签章人<demo.signer@sealrun.example>");

  ASSERT_EQ(VerifyKeyPin(u"123456"), 0);
  const std::u16string fingerprint = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ01";
  platform::com::Variant slot;
  const std::optional<std::u16string> signedMessage =
      SignSealMessage(fingerprint, u"123456", slot, u"ZQ-DEMO-0001", u"DEMO-SEAL-0001", u"");
  ASSERT_TRUE(signedMessage.has_value());
  const std::u16string& message = *signedMessage;
  ASSERT_FALSE(message.empty());
  EXPECT_NE(slot.AsString().value_or(u"").find(u"BEGIN"), std::u16string::npos);
  const auto der = support::DecodeWithAlphabet(platform::text::Utf16ToUtf8(message), support::StandardAlphabet);
  const std::string data = platform::text::Utf16ToUtf8(fingerprint);
  const auto verified = platform::crypto::CmsVerify(der, {platform::crypto::AsBytes(data)});
  EXPECT_TRUE(verified.Valid()) << verified.problem;
  ASSERT_TRUE(verified.signer.has_value());
  EXPECT_EQ(*verified.signer, *certificate);

  EXPECT_EQ(SignSealMessage(fingerprint, u"000000", slot, u"ZQ-DEMO-0001", u"DEMO-SEAL-0001", u""), std::nullopt)
      << "a wrong PIN signs nothing, and the key's signer is known to have refused";
}

}  // namespace
}  // namespace sealrun::seal::testing
#endif
