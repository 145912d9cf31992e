// tramex-server over HTTPS with the add-in's own signing run: a file signed through TLS that poppler accepts,
// a server whose certificate nobody trusts refused with the file left as it was, only TLS 1.2 and later, and
// clients known by their certificates (the platform's client certificate settings) or refused.
#include <gtest/gtest.h>

#include "signing/SignOnline.h"
#include "tests/apps/TlsTestFiles.h"
#include "tests/apps/TramexServerProcess.h"
#include "tests/signing/SignOnlineTestSupport.h"

namespace sealrun::signing::testing {
namespace {

using sealrun::testing::LinesWithAll;
using sealrun::testing::ReadFileBytes;
using sealrun::testing::ScopedEnv;
using sealrun::testing::TlsTestFiles;
using sealrun::testing::TramexServerProcess;
using sealrun::testing::WriteFileBytes;

class TramexServerHttps : public OnlineSigningFixture {
 protected:
  void SetUp() override {
    OnlineSigningFixture::SetUp();
    ASSERT_TRUE(tls_.Ok()) << tls_.Problem();
  }

  StampResult Sign(const std::filesystem::path& path, const std::string& url) {
    protocol::HttpPacketTransport transport;
    const OnlineSigningRequest request{platform::text::Utf8ToUtf16(url), u"ZQ-DEMO-0001", u"SEAL-0007"};
    return SignWith(path, MakeOnlineSigner(request, &transport));
  }

  std::unique_ptr<TramexServerProcess> HttpsServer(const std::string& certificate, std::vector<std::string> extra = {}) {
    std::vector<std::string> arguments = {"--tls-cert", tls_.Certificate(certificate).string(), "--tls-key",
                                          tls_.Key(certificate).string()};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    auto server = TramexServerProcess::Start(arguments, {}, TramexServerProcess::Scheme::Https);
    if (!server) ADD_FAILURE() << "tramex-server did not start over HTTPS";
    return server;
  }

  // A server that knows one client, alice, by her certificate.
  std::unique_ptr<TramexServerProcess> ServerKnowingAlice() {
    const std::filesystem::path config = folder_ / "tramex-server.conf";
    WriteFileBytes(config, "# clients known by their certificates\n"
                           "tls_client_ca = " + tls_.Certificate("ca").string() + "\n\n"
                           "[client alice]\ncert_sha256 = " + tls_.Fingerprint("alice") + "\nkey_serials = ZQ-DEMO-0001\n");
    return HttpsServer("server", {"--config", config.string()});
  }

  TlsTestFiles tls_;
};

TEST_F(TramexServerHttps, SignedOverHttpsTheFileIsValid) {
  const ScopedEnv trust("SEALRUN_TLS_CA_FILE", tls_.Certificate("ca").string());
  auto server = HttpsServer("server");
  ASSERT_TRUE(server);
  ASSERT_EQ(server->Url().rfind("https://", 0), 0u);
  const std::filesystem::path path = Copy("pypdf-crazyones.pdf");
  ASSERT_FALSE(path.empty());
  ASSERT_EQ(Sign(path, server->Url()).Code(), 0);
  const ToolResult judged = RunTool("pdfsig " + Quote(path));
  EXPECT_EQ(CountOf(judged.output, "Signature is Valid"), 1) << judged.output;
  const std::vector<std::string> lines = server->RequestLines(2);
  EXPECT_EQ(LinesWithAll(lines, {"kind=SIGNCONTEXT", "http=200 status=OK"}), 1u);
  EXPECT_EQ(LinesWithAll(lines, {"kind=VERIFYSIGNATURE", "http=200 status=OK"}), 1u);
}

TEST_F(TramexServerHttps, UntrustedServerCertificateIsAConnectionFailureAndTheFileStaysAsItWas) {
  // The system's roots and the test CA are trusted; the server's certificate comes from neither.
  const ScopedEnv trust("SEALRUN_TLS_CA_FILE", tls_.Certificate("ca").string());
  auto server = HttpsServer("rogue-server");
  ASSERT_TRUE(server);
  const std::filesystem::path path = Copy("pypdf-crazyones.pdf");
  ASSERT_FALSE(path.empty());
  const std::string before = ReadFileBytes(path);
  const StampResult result = Sign(path, server->Url());
  EXPECT_EQ(result.Code(), kOnlineRefused);
  ASSERT_FALSE(result.Ok());
  EXPECT_EQ(result.Failure(), StampFailure::NoServerAnswer) << result.Reason();
  EXPECT_TRUE(ReadFileBytes(path) == before) << "the file is byte for byte what it was";
  // The client gave up on the certificate before it sent a request: the server logs a connection without one.
  const std::vector<std::string> lines = server->RequestLines(1);
  ASSERT_GE(lines.size(), 1u);
  EXPECT_EQ(LinesWithAll(lines, {"method=- path=- bytes=0", "http=- status=-"}), lines.size()) << lines.front();
}

TEST_F(TramexServerHttps, OnlyTls12AndLaterAreSpoken) {
  auto server = HttpsServer("server");
  ASSERT_TRUE(server);
  const std::string connect = "127.0.0.1:" + std::to_string(server->Port());
  // The client's own security level would refuse TLS 1.1 before the server could; it is lowered so that the
  // server is what refuses.
  const auto handshake = [&](const std::string& version) {
    return sealrun::testing::RunProgram("openssl", {"s_client", "-connect", connect, version, "-cipher", "DEFAULT@SECLEVEL=0",
                                                    "-CAfile", tls_.Certificate("ca").string(), "-verify_return_error"});
  };
  for (const char* old : {"-tls1", "-tls1_1"}) {
    const sealrun::testing::ToolRun refused = handshake(old);
    EXPECT_NE(refused.exitCode, 0) << old << "\n" << refused.output;
  }
  for (const char* current : {"-tls1_2", "-tls1_3"}) {
    const sealrun::testing::ToolRun accepted = handshake(current);
    EXPECT_EQ(accepted.exitCode, 0) << current << "\n" << accepted.output;
  }
  const std::vector<std::string> lines = server->RequestLines(4);
  EXPECT_EQ(LinesWithAll(lines, {"unsupported protocol"}), 2u);
}

TEST_F(TramexServerHttps, ClientsAreKnownByTheirCertificates) {
  const ScopedEnv trust("SEALRUN_TLS_CA_FILE", tls_.Certificate("ca").string());
  auto server = ServerKnowingAlice();
  ASSERT_TRUE(server);
  const std::filesystem::path path = Copy("pypdf-crazyones.pdf");
  ASSERT_FALSE(path.empty());
  const std::string before = ReadFileBytes(path);

  struct Case {
    const char* label;
    std::string certificate;  // empty: none presented
    const char* logged;       // what the server logs of the signing request
  };
  const Case refused[] = {
      {"no certificate", "", "http=401 status=UNAUTHORIZED"},
      {"a certificate of the CA for a client not configured", "mallory", "http=401 status=UNAUTHORIZED"},
      {"a certificate of another CA under alice's name", "rogue-client", "TLS handshake failed"},
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.label);
    const ScopedEnv certificate("SEALRUN_TLS_CLIENT_CERT",
                                c.certificate.empty() ? std::nullopt : std::optional(tls_.Certificate(c.certificate).string()));
    const ScopedEnv key("SEALRUN_TLS_CLIENT_KEY",
                        c.certificate.empty() ? std::nullopt : std::optional(tls_.Key(c.certificate).string()));
    const StampResult result = Sign(path, server->Url());
    EXPECT_EQ(result.Code(), kOnlineRefused);
    EXPECT_FALSE(result.Ok());
    EXPECT_TRUE(ReadFileBytes(path) == before);
    const std::vector<std::string> lines = server->RequestLines(1);
    EXPECT_GE(LinesWithAll(lines, {c.logged}), 1u) << (lines.empty() ? "" : lines.front());
  }

  const ScopedEnv certificate("SEALRUN_TLS_CLIENT_CERT", tls_.Certificate("alice").string());
  const ScopedEnv key("SEALRUN_TLS_CLIENT_KEY", tls_.Key("alice").string());
  ASSERT_EQ(Sign(path, server->Url()).Code(), 0);
  EXPECT_EQ(CountOf(RunTool("pdfsig " + Quote(path)).output, "Signature is Valid"), 1);
  const std::vector<std::string> lines = server->RequestLines(2);
  EXPECT_EQ(LinesWithAll(lines, {"client=alice", "kind=SIGNCONTEXT keysn=ZQ-DEMO-0001 http=200 status=OK"}), 1u);
  EXPECT_EQ(LinesWithAll(lines, {"client=alice", "kind=VERIFYSIGNATURE", "http=200 status=OK"}), 1u);
}

}  // namespace
}  // namespace sealrun::signing::testing
