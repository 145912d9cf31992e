// The client certificate and trust anchors the machine configures for HTTPS requests.
#include <gtest/gtest.h>

#include "platform/net/HttpClient.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::platform::net {
namespace {

using sealrun::testing::ScopedEnv;

TEST(ClientTlsSettings, ReadFromTheEnvironment) {
  {
    const ScopedEnv certificate("SEALRUN_TLS_CLIENT_CERT", "/etc/client.pem");
    const ScopedEnv key("SEALRUN_TLS_CLIENT_KEY", "/etc/client.key");
    const ScopedEnv anchors("SEALRUN_TLS_CA_FILE", "/etc/anchors.pem");
    const ClientTlsSettings settings = ClientTlsSettingsFromEnvironment();
    EXPECT_EQ(settings.certificateFile, "/etc/client.pem");
    EXPECT_EQ(settings.keyFile, "/etc/client.key");
    EXPECT_EQ(settings.caFile, "/etc/anchors.pem");
  }
  {
    // One PEM file holding both certificate and key.
    const ScopedEnv certificate("SEALRUN_TLS_CLIENT_CERT", "/etc/both.pem");
    const ScopedEnv key("SEALRUN_TLS_CLIENT_KEY", std::nullopt);
    EXPECT_EQ(ClientTlsSettingsFromEnvironment().keyFile, "/etc/both.pem");
  }
  {
    // A key alone is no client certificate.
    const ScopedEnv certificate("SEALRUN_TLS_CLIENT_CERT", std::nullopt);
    const ScopedEnv key("SEALRUN_TLS_CLIENT_KEY", "/etc/client.key");
    const ClientTlsSettings settings = ClientTlsSettingsFromEnvironment();
    EXPECT_TRUE(settings.certificateFile.empty());
    EXPECT_TRUE(settings.keyFile.empty());
  }
}

TEST(ClientTlsSettings, UnusableFilesFailTheRequestBeforeAnyConnection) {
  const sealrun::testing::TempDir folder;
  // Port 9 on loopback: nothing listens, so only a failure before connecting names the files.
  {
    const ScopedEnv anchors("SEALRUN_TLS_CA_FILE", (folder / "absent-anchors.pem").string());
    const HttpAnswer answer = HttpPost("https://127.0.0.1:9/tramex", "packet", {});
    EXPECT_EQ(answer.failure, HttpFailure::Connection);
    EXPECT_NE(answer.failureText.find("absent-anchors.pem"), std::string::npos) << answer.failureText;
  }
  {
    const ScopedEnv certificate("SEALRUN_TLS_CLIENT_CERT", (folder / "absent-client.pem").string());
    const HttpAnswer answer = HttpPost("https://127.0.0.1:9/tramex", "packet", {});
    EXPECT_EQ(answer.failure, HttpFailure::Connection);
    EXPECT_NE(answer.failureText.find("absent-client.pem"), std::string::npos) << answer.failureText;
  }
}

}  // namespace
}  // namespace sealrun::platform::net
