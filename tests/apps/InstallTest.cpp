// Installation into a prefix and the user's setup from there: the installed program finds its modules
// beside itself, registers them, lists the add-in for the host and writes the settings files; a second
// setup changes nothing; removal undoes it and is as repeatable.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/imaging/ImageCodec.h"
#include "tests/apps/ProgramRun.h"
#include "tests/testsupport/TempDir.h"
#include "tests/testsupport/ToolRun.h"

namespace sealrun::apps {
namespace {

namespace fs = std::filesystem;
using sealrun::testing::ReadFileBytes;
using testing::ProgramRun;
using testing::RunProgram;

class Installed : public ::testing::Test {
 protected:
  Installed()
      : config_("XDG_CONFIG_HOME", (temp_ / "config").string()),
        registry_("SEALRUN_REGISTRY", (temp_ / "registry").string()),
        hostSettings_("SEALRUN_HOST_SETTINGS", std::nullopt),
        tmp_("TMPDIR", temp_.Path().string()),
        module_("SEALRUN_ADDIN_MODULE", std::nullopt) {}

  void SetUp() override {
    const ProgramRun install =
        RunProgram(SEALRUN_CMAKE, {"--install", SEALRUN_BUILD_DIR, "--prefix", Prefix().string()});
    ASSERT_EQ(install.exitCode, 0) << install.output;
  }

  fs::path Prefix() const { return temp_ / "prefix"; }
  fs::path Program() const { return Prefix() / "bin" / "sealrun"; }
  fs::path HostFile() const { return temp_ / "config" / "QuoralPDF" / "host.conf"; }
  fs::path SettingsFolder() const { return temp_ / "config" / "Signavox_ConfigFile"; }
  std::string Registry() const {
    std::string all;
    for (const auto& entry : fs::directory_iterator(temp_ / "registry")) all += ReadFileBytes(entry.path());
    return all;
  }

  sealrun::testing::TempDir temp_;
  sealrun::testing::ScopedEnv config_;
  sealrun::testing::ScopedEnv registry_;
  sealrun::testing::ScopedEnv hostSettings_;
  sealrun::testing::ScopedEnv tmp_;
  sealrun::testing::ScopedEnv module_;
};

TEST_F(Installed, SetupRegistersTheInstalledModulesAndIsRepeatable) {
  const fs::path installedModule = Prefix() / "lib" / "sealrun" / "Velmarch.SealrunPDF.qpi";
  ASSERT_TRUE(fs::exists(installedModule));
  EXPECT_TRUE(fs::exists(Prefix() / "lib" / "sealrun" / "ZQ_Root.cer"));
  EXPECT_TRUE(fs::exists(Prefix() / "share" / "sealrun" / "demo-key" / "key.xml"));
  // The files an attacker would test PINs against are their owner's alone; the public ones stay readable.
  const fs::path demoKey = Prefix() / "share" / "sealrun" / "demo-key";
  for (const char* secret : {"key.xml", "signer.p12"})
    EXPECT_EQ(fs::status(demoKey / secret).permissions(), fs::perms::owner_read | fs::perms::owner_write) << secret;
  EXPECT_NE(fs::status(demoKey / "signer.pem").permissions() & fs::perms::others_read, fs::perms::none);
  EXPECT_FALSE(fs::exists(demoKey / "pin-tries"));

  const ProgramRun first = RunProgram(Program().string(), {"setup"});
  ASSERT_EQ(first.exitCode, 0) << first.output;
  // The registration names the installed copies, not the build tree's.
  EXPECT_NE(Registry().find(installedModule.string()), std::string::npos);
  EXPECT_EQ(Registry().find(SEALRUN_BUILD_DIR), std::string::npos);
  const std::string host = ReadFileBytes(HostFile());
  EXPECT_NE(host.find("AddIn=Velmarch.SealrunPDF"), std::string::npos) << host;
  for (const char* name : {"BatchPDFConfig.dll", "OrtavexConfig.dll"})
    EXPECT_TRUE(fs::exists(SettingsFolder() / name)) << name;
  // The family's public file is its administrator's: a user's copy would be read before the system's.
  EXPECT_FALSE(fs::exists(SettingsFolder() / "BrasmoorPublic.dll"));
  const std::string ortavex = ReadFileBytes(SettingsFolder() / "OrtavexConfig.dll");
  EXPECT_NE(ortavex.find("<SignatureMode>0</SignatureMode>"), std::string::npos);

  // A user's own settings are never overwritten, and nothing changes on a second run.
  const std::string mine = "\xEF\xBB\xBF<Brasmoor><S><SignatureMode>1</SignatureMode></S></Brasmoor>";
  sealrun::testing::WriteFileBytes(SettingsFolder() / "OrtavexConfig.dll", mine);
  const std::string registryBefore = Registry();
  const ProgramRun second = RunProgram(Program().string(), {"setup"});
  ASSERT_EQ(second.exitCode, 0) << second.output;
  EXPECT_EQ(ReadFileBytes(SettingsFolder() / "OrtavexConfig.dll"), mine);
  EXPECT_EQ(ReadFileBytes(HostFile()), host);
  EXPECT_EQ(Registry(), registryBefore);

  // The installed program runs the host with the installed add-in: a refusal from inside the run proves it
  // started (a missing template is reported by the command, not by the loader).
  const ProgramRun listed = RunProgram(Program().string(), {"templates", (temp_ / "missing.pdf").string()});
  EXPECT_EQ(listed.exitCode, 2) << listed.output;
  EXPECT_EQ(listed.output.find("cannot be loaded"), std::string::npos) << listed.output;

  const ProgramRun removed = RunProgram(Program().string(), {"setup", "--remove"});
  ASSERT_EQ(removed.exitCode, 0) << removed.output;
  EXPECT_EQ(ReadFileBytes(HostFile()).find("Velmarch.SealrunPDF"), std::string::npos);
  EXPECT_EQ(Registry().find(installedModule.string()), std::string::npos);
  EXPECT_EQ(ReadFileBytes(SettingsFolder() / "OrtavexConfig.dll"), mine);
  const ProgramRun removedAgain = RunProgram(Program().string(), {"setup", "--remove"});
  EXPECT_EQ(removedAgain.exitCode, 0) << removedAgain.output;
}

// An administrator's public settings stay in force after a user's setup: here certificate validation,
// against a root the demo signer was not issued by, refuses the run before and after.
TEST_F(Installed, TheAdministratorsPublicSettingsStayInForceAfterSetup) {
  const fs::path system = temp_ / "system";
  fs::create_directories(system);
  sealrun::testing::WriteFileBytes(system / "BrasmoorPublic.dll",
                                   "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Brasmoor><Public>"
                                   "<ValidateCertificate>true</ValidateCertificate></Public></Brasmoor>\r\n");
  const sealrun::testing::ScopedEnv systemDir("SEALRUN_SYSTEM_DIR", system.string());
  const fs::path root = Prefix() / "lib" / "sealrun" / "ZQ_Root.cer";
  const auto made = sealrun::testing::RunTool(
      "openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=Another-Root -days 2 -keyout " +
      sealrun::testing::ShellQuote((temp_ / "other.key").string()) + " -out " + sealrun::testing::ShellQuote(root.string()));
  ASSERT_EQ(made.exitCode, 0) << made.output;
  fs::copy(Prefix() / "share" / "sealrun" / "demo-key", temp_ / "key", fs::copy_options::recursive);
  const sealrun::testing::ScopedEnv key("SEALRUN_KEY", (temp_ / "key").string());
  const fs::path file = temp_ / "contract.pdf";
  fs::copy_file(sealrun::testing::CorpusFile("pypdf-crazyones.pdf"), file);
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  const std::string original = ReadFileBytes(file);
  const std::vector<std::string> sign = {"sign", "--keyword", "crazy", "--seal", "演示公章", "--pin", "123456",
                                         file.string()};

  for (const bool afterSetup : {false, true}) {
    SCOPED_TRACE(afterSetup ? "after setup" : "before setup");
    if (afterSetup) {
      const ProgramRun setup = RunProgram(Program().string(), {"setup"});
      ASSERT_EQ(setup.exitCode, 0) << setup.output;
      EXPECT_FALSE(fs::exists(SettingsFolder() / "BrasmoorPublic.dll"));
      EXPECT_NE(setup.output.find((system / "BrasmoorPublic.dll").string()), std::string::npos) << setup.output;
    }
    const ProgramRun run = RunProgram(Program().string(), sign);
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_NE(run.output.find("VRL"), std::string::npos) << run.output;
    EXPECT_EQ(ReadFileBytes(file), original);
  }
}

TEST_F(Installed, SetupRefusesWhatItDoesNotKnow) {
  const ProgramRun run = RunProgram(Program().string(), {"setup", "--everything"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.output.find("--everything"), std::string::npos) << run.output;
}

#if defined(SEALRUN_HAS_READER)
// The installed desktop reader on a real X server (Xvfb): it starts, loads the add-in from beside itself,
// opens the file given and writes a screenshot of its window.
TEST_F(Installed, TheInstalledReaderStartsUnderXvfbWithTheAddinLoaded) {
  const ProgramRun where = RunProgram("/bin/sh", {"-c", "command -v xvfb-run"});
  if (where.exitCode != 0) GTEST_SKIP() << "xvfb-run is not installed (scripts/setup installs it)";
  const fs::path reader = Prefix() / "bin" / "sealrun-reader";
  ASSERT_TRUE(fs::exists(reader));
  const fs::path document = temp_ / "letter.pdf";
  fs::copy_file(sealrun::testing::CorpusFile("pypdf-crazyones.pdf"), document);
  const fs::path shot = temp_ / "reader.png";
  const ProgramRun run = RunProgram("xvfb-run", {"-a", "-s", "-screen 0 1280x1024x24", reader.string(),
                                                 "--screenshot", shot.string(), document.string()});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("add-in loaded"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("1 document"), std::string::npos) << run.output;
  const std::string png = ReadFileBytes(shot);
  const auto picture = platform::imaging::DecodeImage(std::span(reinterpret_cast<const uint8_t*>(png.data()), png.size()));
  ASSERT_TRUE(picture.has_value());
  EXPECT_GE(picture->Width(), 800);
  EXPECT_GE(picture->Height(), 600);
  // A drawn window, not a blank buffer: the picture holds many colours (page text, toolbar, frame).
  std::set<uint32_t> colours;
  for (int y = 0; y < picture->Height(); y += 7)
    for (int x = 0; x < picture->Width(); x += 7) {
      const auto pixel = picture->PixelAt(x, y);
      colours.insert(uint32_t{pixel.red} << 16 | uint32_t{pixel.green} << 8 | pixel.blue);
    }
  EXPECT_GT(colours.size(), 20u);
}
#endif

}  // namespace
}  // namespace sealrun::apps
