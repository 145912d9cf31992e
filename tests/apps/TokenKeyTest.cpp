// A seal key whose signer lives on a PKCS#11 token (SoftHSM2), used from the front end as a user would:
// both seal forms signed on the token and accepted by pdfsig, a wrong PIN refused by the token and counted
// there, and a token pulled out in the middle of a batch, which fails the files left with each of them
// byte-identical; and the signing server with its key on a token (an HSM).
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/crypto/TokenKey.h"
#include "tests/apps/FrontEndFixture.h"
#include "tests/apps/TramexServerProcess.h"
#include "tests/testsupport/SoftToken.h"

namespace sealrun::apps {
namespace {

namespace fs = std::filesystem;
using sealrun::testing::ReadFileBytes;
using sealrun::testing::SoftToken;
using sealrun::testing::WriteFileBytes;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class TokenKey : public FrontEnd {
 protected:
  void SetUp() override {
    std::string why;
    token_ = SoftToken::Create(why);
    ASSERT_TRUE(token_) << why;
    sealrun::testing::MakeTokenKeyFolder(temp_ / "key", SoftToken::KeyUri());
  }

  fs::path Copy(const std::string& corpusName, const std::string& name) {
    const fs::path target = temp_ / name;
    fs::copy_file(sealrun::testing::CorpusFile(corpusName), target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    return target;
  }

  ProgramRun Sign(const std::vector<fs::path>& files, const std::string& pin) {
    std::vector<std::string> arguments = {"sign", "--keyword", "crazy", "--seal", "演示公章", "--pin", pin};
    for (const fs::path& file : files) arguments.push_back(file.string());
    return Sealrun(arguments);
  }

  std::unique_ptr<SoftToken> token_;
};

TEST_F(TokenKey, BothSealFormsAreSignedOnTheTokenAndPdfsigAcceptsTheSignature) {
  // Verification counts the seals of the form the settings name, so each form is verified under its own.
  const auto signAndVerify = [&](const char* mode, const std::string& name) {
    UseSignatureMode(mode);
    const fs::path file = Copy("pypdf-crazyones.pdf", name);
    const ProgramRun signedFile = Sign({file}, SoftToken::kUserPin);
    EXPECT_EQ(signedFile.exitCode, 0) << signedFile.output;
    const ProgramRun verified = Sealrun({"verify", file.string()});
    EXPECT_EQ(verified.exitCode, 0) << file << "\n" << verified.output;
    EXPECT_TRUE(Contains(verified.output, "印章总数:1 有效:1")) << verified.output;
    return file;
  };

  const fs::path field = signAndVerify("1", "field.pdf");
  const ProgramRun pdfsig = sealrun::testing::RunProgram("pdfsig", {"-nocert", field.string()});
  EXPECT_TRUE(Contains(pdfsig.output, "Signature Validation: Signature is Valid.")) << pdfsig.output;
  EXPECT_TRUE(Contains(pdfsig.output, "Common Name: 演示签章人")) << "signed by the demo signer on the token\n"
                                                                 << pdfsig.output;

  const fs::path annotation = signAndVerify("0", "annotation.pdf");
  // The seal annotation's record carries a message signed on the token, which verification checks.
  const ProgramRun inspected = Sealrun({"inspect", annotation.string()});
  EXPECT_FALSE(Contains(inspected.output, "no signed message")) << inspected.output;
}

TEST_F(TokenKey, AWrongPinIsRefusedAndCountedByTheToken) {
  UseSignatureMode("1");
  const fs::path file = Copy("pypdf-crazyones.pdf", "file.pdf");
  const std::string before = ReadFileBytes(file);
  const ProgramRun wrong = Sign({file}, "000000");
  EXPECT_EQ(wrong.exitCode, 2) << wrong.output;
  EXPECT_TRUE(Contains(wrong.output, "密码错误")) << wrong.output;
  EXPECT_EQ(ReadFileBytes(file), before);
  EXPECT_FALSE(fs::exists(temp_ / "key" / "pin-tries")) << "the token counts, not the key folder";

  const auto uri = platform::crypto::ParseTokenUri(SoftToken::KeyUri());
  ASSERT_TRUE(uri);
  EXPECT_TRUE(platform::crypto::ReadTokenCertificate(*uri).pin.countLow) << "the token counted the wrong PIN";

  // Unlocking is the token's business, and the front end says so rather than pointing at a try counter.
  const ProgramRun unlock =
      sealrun::testing::RunProgramWithInput(SEALRUN_PROGRAM, {"unlock-key", "--code", "-"}, "12345678\n");
  EXPECT_EQ(unlock.exitCode, 2) << unlock.output;
  EXPECT_TRUE(Contains(unlock.output, "kept and counted by its token")) << unlock.output;
}

TEST_F(TokenKey, ATokenPulledOutMidBatchFailsTheFilesLeftAndLeavesThemAsTheyWere) {
  sealrun::testing::MakeTokenKeyFolder(temp_ / "key", SoftToken::KeyUri(SEALRUN_TEST_UNPLUG_MODULE));
  for (const char* mode : {"1", "0"}) {
    UseSignatureMode(mode);
    // The token comes out after its first signature.
    const sealrun::testing::ScopedEnv oneSignature("SEALRUN_TEST_TOKEN_SIGNATURES", "1");
    std::vector<fs::path> files;
    std::map<fs::path, std::string> before;
    for (const char* name : {"a.pdf", "b.pdf", "c.pdf"}) {
      files.push_back(Copy("pypdf-crazyones.pdf", std::string(mode) + name));
      before[files.back()] = ReadFileBytes(files.back());
    }
    const ProgramRun run = Sign(files, SoftToken::kUserPin);
    EXPECT_EQ(run.exitCode, 1) << "mode " << mode << "\n" << run.output;
    const ProgramRun first = Sealrun({"verify", files[0].string()});
    EXPECT_TRUE(Contains(first.output, "印章总数:1 有效:1")) << "mode " << mode << "\n" << first.output;
    for (std::size_t i = 1; i < files.size(); ++i) {
      EXPECT_EQ(ReadFileBytes(files[i]), before[files[i]]) << files[i] << " changed";
      EXPECT_TRUE(Contains(run.output, "not sealed: " + files[i].string())) << run.output;
    }
  }
}

TEST_F(TokenKey, TheSigningServerSignsWithItsKeyOnAToken) {
  // A wrong PIN: the server does not start, and says why.
  const ProgramRun refused = sealrun::testing::RunProgram(
      "env", {"TRAMEX_KEY_PASSWORD=000000", TRAMEX_SERVER_PROGRAM, "--listen", "127.0.0.1:0", "--key", SoftToken::KeyUri()});
  EXPECT_EQ(refused.exitCode, 2) << refused.output;
  EXPECT_TRUE(Contains(refused.output, "the token refused the PIN")) << refused.output;

  const auto server = sealrun::testing::TramexServerProcess::Start(
      {"--key", SoftToken::KeyUri()}, {"TRAMEX_KEY_PASSWORD=" + std::string(SoftToken::kUserPin)});
  ASSERT_TRUE(server) << "tramex-server did not start with its key on the token";
  UseSignatureMode("1");
  UseSigningServer(server->Url());
  const fs::path file = Copy("pypdf-crazyones.pdf", "online.pdf");
  const ProgramRun run = Sign({file}, SoftToken::kUserPin);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  const ProgramRun pdfsig = sealrun::testing::RunProgram("pdfsig", {"-nocert", file.string()});
  EXPECT_TRUE(Contains(pdfsig.output, "Signature Validation: Signature is Valid.")) << pdfsig.output;
}

}  // namespace
}  // namespace sealrun::apps
