// Online signing against the real tramex-server over loopback HTTP: signatures that poppler and OpenSSL
// accept, files that keep their earlier signatures, every failure the server can put on, and a server that
// is too slow or absent, each leaving the file exactly as it was.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "signing/SignOnline.h"
#include "tests/apps/TramexServerProcess.h"
#include "tests/signing/SignOnlineTestSupport.h"

namespace sealrun::signing::testing {
namespace {

using sealrun::testing::LinesWithAll;
using sealrun::testing::ReadFileBytes;
using sealrun::testing::TempDir;
using sealrun::testing::TramexServerProcess;
using sealrun::testing::WriteFileBytes;

const std::filesystem::path kDemoKey = SEALRUN_DEMO_KEY;

// A loopback port nobody listens on: bound once to learn a free number, then closed again.
int UnusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}


class TramexServerTest : public OnlineSigningFixture {
 protected:
  // Signs the file through the production signer and HTTP transport; the file is restored on failure.
  StampResult Sign(const std::filesystem::path& path, const std::string& url,
                   const protocol::HttpTransportLimits& limits = {}) {
    protocol::HttpPacketTransport transport(limits);
    const OnlineSigningRequest request{platform::text::Utf8ToUtf16(url), u"ZQ-DEMO-0001", u"SEAL-0007"};
    return SignWith(path, MakeOnlineSigner(request, &transport));
  }

  static std::unique_ptr<TramexServerProcess> Server(const std::vector<std::string>& arguments = {}) {
    auto server = TramexServerProcess::Start(arguments);
    if (!server) ADD_FAILURE() << "tramex-server did not start";
    return server;
  }
};

TEST_F(TramexServerTest, SignedFileIsValidAndNamesTheDemoCertificate) {
  const std::filesystem::path path = Copy("pypdf-crazyones.pdf");
  ASSERT_FALSE(path.empty());
  auto server = Server();
  ASSERT_TRUE(server);
  ASSERT_EQ(Sign(path, server->Url()).Code(), 0);

  const ToolResult judged = RunTool("pdfsig " + Quote(path));
  EXPECT_EQ(CountOf(judged.output, "Signature is Valid"), 1) << judged.output;
  EXPECT_NE(judged.output.find("Signer Certificate Common Name: \xE6\xBC\x94\xE7\xA4\xBA\xE7\xAD\xBE\xE7\xAB\xA0\xE4\xBA\xBA"),
            std::string::npos)
      << judged.output;
  EXPECT_NE(judged.output.find("demo.signer@sealrun.example"), std::string::npos) << judged.output;

  // OpenSSL checks the CMS over the signed bytes and its certificate's chain up to the demo root.
  const std::optional<LastSignature> last = ReadLastSignature(path);
  ASSERT_TRUE(last.has_value());
  WriteFileBytes(folder_ / "cms.der", std::string(last->cms.begin(), last->cms.end()));
  WriteFileBytes(folder_ / "content.bin", last->signedBytes);
  const ToolResult verified =
      RunTool("openssl cms -verify -binary -purpose any -inform DER -in " + Quote(folder_ / "cms.der") + " -content " +
              Quote(folder_ / "content.bin") + " -CAfile " + Quote(kDemoKey / "root.pem") + " -out /dev/null");
  EXPECT_EQ(verified.exitCode, 0) << verified.output;
  const ToolResult certificate =
      RunTool("openssl pkcs7 -print_certs -inform DER -in " + Quote(folder_ / "cms.der") + " | openssl x509 -noout -fingerprint");
  const ToolResult demo = RunTool("openssl x509 -noout -fingerprint -in " + Quote(kDemoKey / "signer.pem"));
  EXPECT_EQ(certificate.output, demo.output);

  // The server signed, then confirmed the verification request the client sent with its fixed serial text.
  const std::vector<std::string> lines = server->RequestLines(2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(LinesWithAll(lines, {"method=POST", "path=/tramex"}), 2u);
  EXPECT_EQ(LinesWithAll(lines, {"kind=SIGNCONTEXT", "http=200 status=OK"}), 1u) << lines[0] << "\n" << lines[1];
  EXPECT_EQ(LinesWithAll(lines, {"kind=VERIFYSIGNATURE", "http=200 status=OK"}), 1u) << lines[0] << "\n" << lines[1];
}

TEST_F(TramexServerTest, EarlierSignaturesStayValid) {
  auto server = Server();
  ASSERT_TRUE(server);
  const std::filesystem::path signedTwice = Copy("pyhanko-minimal-two-fields-signed-twice.pdf");
  ASSERT_FALSE(signedTwice.empty());
  ASSERT_EQ(CountOf(RunTool("pdfsig " + Quote(signedTwice)).output, "Signature is Valid"), 2);
  ASSERT_EQ(Sign(signedTwice, server->Url()).Code(), 0);
  ToolResult judged = RunTool("pdfsig " + Quote(signedTwice));
  EXPECT_EQ(CountOf(judged.output, "Signature is Valid"), 3) << judged.output;
  EXPECT_EQ(CountOf(judged.output, "Signature Field Name:"), 3) << judged.output;

  // A file this server signed once is signed again: two server signatures, both valid.
  const std::filesystem::path plain = Copy("qpdf-minimal.pdf");
  ASSERT_FALSE(plain.empty());
  ASSERT_EQ(Sign(plain, server->Url()).Code(), 0);
  ASSERT_EQ(Sign(plain, server->Url()).Code(), 0);
  judged = RunTool("pdfsig " + Quote(plain));
  EXPECT_EQ(CountOf(judged.output, "Signature is Valid"), 2) << judged.output;
  EXPECT_EQ(SignatureCount(plain), 2);
}

TEST_F(TramexServerTest, EveryServerFailureLeavesTheFileAsItWas) {
  struct Case {
    const char* mode;
    std::vector<std::pair<std::string, std::string>> log;  // the kind and HTTP and TRAMEX status of each request
    StampFailure failure;          // why the file was not signed
  };
  const Case cases[] = {
      // A refusal is still followed by the verification request, with nothing to confirm.
      {"refuse", {{"kind=SIGNCONTEXT", "http=200 status=REFUSED"}, {"kind=VERIFYSIGNATURE", "http=200 status=NOSIGNATURE"}},
       StampFailure::ServerRefused},
      // No answer the client can read: it does not ask again.
      {"http500", {{"kind=SIGNCONTEXT", "http=500 status=OK"}}, StampFailure::NoServerAnswer},
      {"nocert", {{"kind=SIGNCONTEXT", "http=200 status=OK"}}, StampFailure::UnusableServerAnswer},
      // The signature is rejected before the merge; the server is told what it sent and disowns it.
      {"garbage", {{"kind=SIGNCONTEXT", "http=200 status=OK"}, {"kind=VERIFYSIGNATURE", "http=200 status=FAIL"}},
       StampFailure::UnusableServerAnswer},
  };
  const std::filesystem::path path = Copy("pypdf-crazyones.pdf");
  ASSERT_FALSE(path.empty());
  const std::string before = ReadFileBytes(path);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    auto server = Server({"--fail", c.mode});
    ASSERT_TRUE(server);
    const StampResult result = Sign(path, server->Url());
    EXPECT_EQ(result.Code(), kOnlineRefused);
    ASSERT_FALSE(result.Ok());
    EXPECT_EQ(result.Failure(), c.failure) << result.Reason();
    EXPECT_TRUE(ReadFileBytes(path) == before) << "the file is byte for byte what it was";
    EXPECT_EQ(SignatureCount(path), 0);
    const std::vector<std::string> lines = server->RequestLines(c.log.size());
    ASSERT_EQ(lines.size(), c.log.size());
    for (const auto& [kind, status] : c.log) EXPECT_EQ(LinesWithAll(lines, {kind, status}), 1u) << kind << " " << status;
  }
}

TEST_F(TramexServerTest, SlowOrAbsentServerLeavesTheFileAsItWas) {
  const std::filesystem::path path = Copy("pypdf-crazyones.pdf");
  ASSERT_FALSE(path.empty());
  const std::string before = ReadFileBytes(path);

  // The server answers after 2 s; a client that waits 0.25 s per read gives up long before.
  auto slow = Server({"--delay", "2000"});
  ASSERT_TRUE(slow);
  protocol::HttpTransportLimits impatient;
  impatient.readTimeout = std::chrono::milliseconds(250);
  const StampResult late = Sign(path, slow->Url(), impatient);
  EXPECT_EQ(late.Code(), kOnlineRefused);
  ASSERT_FALSE(late.Ok());
  EXPECT_EQ(late.Failure(), StampFailure::NoServerAnswer);
  EXPECT_TRUE(ReadFileBytes(path) == before);
  EXPECT_EQ(SignatureCount(path), 0);
  // With the default read time-out the same server's answers arrive and the file is signed.
  EXPECT_EQ(Sign(path, slow->Url()).Code(), 0);
  EXPECT_EQ(SignatureCount(path), 1);

  const std::filesystem::path other = Copy("qpdf-minimal.pdf");
  ASSERT_FALSE(other.empty());
  const std::string otherBefore = ReadFileBytes(other);
  const int port = UnusedPort();
  ASSERT_NE(port, 0);
  for (const std::string& url : {"http://127.0.0.1:" + std::to_string(port) + "/tramex", std::string("not an address")}) {
    const StampResult absent = Sign(other, url);
    EXPECT_EQ(absent.Code(), kOnlineRefused) << url;
    ASSERT_FALSE(absent.Ok());
    EXPECT_EQ(absent.Failure(), StampFailure::NoServerAnswer) << url;
    EXPECT_TRUE(ReadFileBytes(other) == otherBefore);
  }
  EXPECT_TRUE(ReadFileBytes(other) == otherBefore);
}

}  // namespace
}  // namespace sealrun::signing::testing
