// tramex-server's configuration and start: malformed configuration files refused with their file and line,
// the documented example read to the end, the signing key's password from a file or the environment (never
// needed on the command line), and the systemd unit as systemd-analyze judges it.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "tests/apps/TramexRequests.h"
#include "tests/apps/TramexServerProcess.h"
#include "tests/testsupport/ToolRun.h"

namespace sealrun::signing::testing {
namespace {

using sealrun::testing::LinesWithAll;
using sealrun::testing::RunProgram;
using sealrun::testing::ScopedEnv;
using sealrun::testing::TempDir;
using sealrun::testing::ToolRun;
using sealrun::testing::TramexServerProcess;
using sealrun::testing::WriteFileBytes;

const std::filesystem::path kDemoKey = SEALRUN_DEMO_KEY;
const std::filesystem::path kServerFolder = TRAMEX_SERVER_SOURCE_DIR;

ToolRun RunServer(const std::vector<std::string>& arguments) {
  return RunProgram(TRAMEX_SERVER_PROGRAM, arguments, sealrun::testing::ErrorStream::Apart);
}

TEST(TramexServerConfig, MalformedFilesAreRefusedWithFileAndLine) {
  const TempDir folder;
  const std::string token = std::string(64, 'a');
  struct Case {
    const char* label;
    std::string text;
    int line;
    const char* says;
  };
  const Case cases[] = {
      {"unknown key", "listen = 127.0.0.1:0\ncolour = blue\n", 2, "unknown key `colour`"},
      {"no equals sign", "# server\nlisten 127.0.0.1:0\n", 2, "expected `key = value`"},
      {"unknown section", "[server]\nlisten = 127.0.0.1:0\n", 1, "the only section is `[client NAME]`"},
      {"key given twice", "max_connections = 4\nmax_connections = 8\n", 2, "given twice"},
      {"listen without a port", "listen = localhost\n", 1, "listen wants HOST:PORT"},
      {"no connections", "max_connections = 0\n", 1, "max_connections wants"},
      {"duration without unit", "header_timeout = 10\n", 1, "header_timeout wants a duration"},
      {"password written in the file", "password = 123456\n", 1, "password_file"},
      {"client without credential", "[client a]\nkey_serials = K\n", 1, "needs token_sha256 or cert_sha256"},
      {"client without serials", "\n[client a]\ntoken_sha256 = " + token + "\n", 2, "needs key_serials"},
      {"token not a SHA-256", "[client a]\ntoken_sha256 = abc\nkey_serials = K\n", 2, "64 hex digits"},
      {"same token twice", "[client a]\ntoken_sha256 = " + token + "\nkey_serials = K\n[client b]\ntoken_sha256 = " + token +
                               "\nkey_serials = K\n", 5, "same credential"},
      {"unknown client key", "[client a]\ntoken_sha256 = " + token + "\nkey_serials = K\nrole = admin\n", 4,
       "unknown key `role` in a client section"},
      {"client named twice", "[client a]\ntoken_sha256 = " + token + "\nkey_serials = K\n[client a]\n", 4,
       "configured twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::filesystem::path file = folder / "bad.conf";
    WriteFileBytes(file, c.text);
    const ToolRun run = RunServer({"--config", file.string(), "--listen", "127.0.0.1:0"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.errors.find(file.string() + ":" + std::to_string(c.line) + ": "), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find(c.says), std::string::npos) << run.errors;
    EXPECT_EQ(run.output.find("listening"), std::string::npos);
  }
  const ToolRun missing = RunServer({"--config", (folder / "absent.conf").string()});
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_NE(missing.errors.find((folder / "absent.conf").string() + ": cannot read"), std::string::npos) << missing.errors;
}

TEST(TramexServerConfig, TheExampleIsReadToTheEnd) {
  // Every key of the example is understood: the server gets as far as the password file it names.
  const ToolRun run = RunServer({"--config", (kServerFolder / "tramex-server.conf.example").string()});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.errors.find("cannot read the password file /etc/sealrun/tramex-key-password"), std::string::npos)
      << run.errors;
}

TEST(TramexServerConfig, TheKeyPasswordComesFromAFileOrTheEnvironment) {
  const TempDir folder;
  const std::string key = (kDemoKey / "signer.p12").string();
  WriteFileBytes(folder / "password", "123456\n");
  WriteFileBytes(folder / "wrong-password", "654321\n");
  WriteFileBytes(folder / "key.conf", "signing_key = " + key + "\npassword_file = password\n");
  const ScopedEnv none("TRAMEX_KEY_PASSWORD", std::nullopt);

  struct Case {
    const char* label;
    std::vector<std::string> arguments;
    std::vector<std::string> environment;
  };
  const Case starting[] = {
      {"--password-file", {"--key", key, "--password-file", (folder / "password").string()}, {}},
      {"password_file relative to the configuration", {"--config", (folder / "key.conf").string()}, {}},
      {"the environment", {"--key", key}, {"TRAMEX_KEY_PASSWORD=123456"}},
      {"--password-file over the environment", {"--key", key, "--password-file", (folder / "password").string()},
       {"TRAMEX_KEY_PASSWORD=654321"}},
  };
  for (const Case& c : starting) {
    SCOPED_TRACE(c.label);
    auto server = TramexServerProcess::Start(c.arguments, c.environment);
    ASSERT_TRUE(server);
    const platform::net::HttpAnswer answer = PostPacket(server->Url(), SigningPacket(c.label));
    EXPECT_EQ(answer.status, 200) << answer.failureText;
    EXPECT_EQ(protocol::ReadPacketField(answer.body, u"STATUS"), u"OK");
  }

  // A wrong or missing password stops the start with a message.
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--key", key}, {"--key", key, "--password-file", (folder / "wrong-password").string()},
        {"--key", key, "--password-file", (folder / "absent").string()}}) {
    const ToolRun run = RunServer(arguments);
    EXPECT_EQ(run.exitCode, 2) << arguments.back();
    EXPECT_FALSE(run.errors.empty());
    EXPECT_EQ(run.output.find("listening"), std::string::npos);
  }

  // The password on the command line still works, with a warning in the log.
  auto visible = TramexServerProcess::Start({"--key", key, "--password", "123456"});
  ASSERT_TRUE(visible);
  visible->ReadLogLine();  // the start line
  EXPECT_EQ(LinesWithAll({visible->ReadLogLine()}, {"event=warning", "visible to other users"}), 1u);
}

TEST(TramexServerConfig, TheSystemdUnitPassesSystemdAnalyze) {
  if (RunProgram("sh", {"-c", "command -v systemd-analyze"}).exitCode != 0) GTEST_SKIP() << "no systemd-analyze";
  std::ifstream file(kServerFolder / "tramex-server.service");
  std::string unit((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(unit.empty());
  for (const char* setting : {"NoNewPrivileges=yes", "ProtectSystem=strict", "ProtectHome=yes", "PrivateTmp=yes",
                              "DynamicUser=yes", "CapabilityBoundingSet=\n", "SystemCallFilter=@system-service",
                              "RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX", "LoadCredential=", "StateDirectory="})
    EXPECT_NE(unit.find(setting), std::string::npos) << setting;
  // The installed program is not on this machine: the unit is judged with the program of this build in its place.
  const std::string installed = "/usr/lib/sealrun/tramex-server";
  const std::size_t at = unit.find("ExecStart=" + installed);
  ASSERT_NE(at, std::string::npos);
  unit.replace(at + 10, installed.size(), TRAMEX_SERVER_PROGRAM);
  const TempDir folder;
  WriteFileBytes(folder / "tramex-server.service", unit);
  const ToolRun verified = RunProgram("systemd-analyze", {"verify", (folder / "tramex-server.service").string()});
  EXPECT_EQ(verified.exitCode, 0) << verified.output;
  EXPECT_EQ(verified.output, "") << verified.output;
}

}  // namespace
}  // namespace sealrun::signing::testing
