// The demo key shipped with the system, in a copy (the key keeps its try counter in its folder): its signer
// validates against its own root certificate and revocation list, and its PIN signs.
#include <gtest/gtest.h>

#include "platform/crypto/Cms.h"
#include "platform/fs/Paths.h"
#include "tests/components/certlib/CertLibraryTestSupport.h"

namespace sealrun::components::certlib::testing {
namespace {

TEST_F(CertLibraryTest, DemoKeyValidatesAndSigns) {
  const std::filesystem::path source = SEALRUN_DEMO_KEY_DIR;
  ASSERT_TRUE(std::filesystem::exists(source / "key.xml")) << "demo key missing: " << source;
  const std::filesystem::path demo = KeyDir().parent_path() / "demo-key";
  std::filesystem::copy(source, demo, std::filesystem::copy_options::recursive);
  sealrun::testing::ScopedEnv key("SEALRUN_KEY", demo.string());
  const auto library = Create();
  ASSERT_TRUE(library);
  ASSERT_NE(GetContainer(library.Get()), 0);
  const std::u16string certificate = CertContext(library.Get());
  EXPECT_EQ(VerifyCertValidity2(library.Get(), certificate, platform::fs::PathToUtf16(demo / "ZQ_Root.cer"),
                                platform::fs::PathToUtf16(demo / "ZQ_Crl.crl")),
            0);

  SetParams(library.Get(), u"ZQ-DEMO-0001", u"DEMO-SEAL-0001");
  PutCardPin(library.Get(), u"123456");
  GetCertificate(library.Get(), certificate);
  ASSERT_NE(CrySignMessage(library.Get(), u"DEMOFINGERPRINT", 15), 0);
  const auto result = platform::crypto::CmsVerify(DecodeBase64(SignMessage(library.Get())),
                                                  {platform::crypto::AsBytes(std::string_view("DEMOFINGERPRINT"))});
  EXPECT_TRUE(result.Valid()) << result.problem;
}

}  // namespace
}  // namespace sealrun::components::certlib::testing
