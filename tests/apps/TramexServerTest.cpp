// Online signing against the real tramex-server over loopback HTTP: signatures that poppler and OpenSSL
// accept, every failure the server can put on, a server that is too slow or absent, and the server's own
// handling of bad, oversized and simultaneous requests with its per-request log.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

#include "platform/crypto/Digest.h"
#include "platform/crypto/SignedDataBuilder.h"
#include "platform/net/HttpClient.h"
#include "signing/SignOnline.h"
#include "tests/apps/TramexServerProcess.h"
#include "tests/signing/SignOnlineTestSupport.h"

namespace sealrun::signing::testing {
namespace {

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

// The log lines a server wrote for its requests, read until none comes within the wait.
std::vector<std::string> LogLines(TramexServerProcess& server, std::size_t expected) {
  std::vector<std::string> lines;
  while (lines.size() < expected) {
    std::string line = server.ReadLine(std::chrono::seconds(10));
    if (line.empty()) break;
    lines.push_back(std::move(line));
  }
  // Anything past the expected lines is a fault too: read what else is already there.
  for (std::string extra; !(extra = server.ReadLine(std::chrono::milliseconds(200))).empty();) lines.push_back(extra);
  return lines;
}

// How many of the lines contain the text. The server writes a request's line after its answer has gone out,
// so a client's next request can be logged first: lines are counted, not taken in order.
std::size_t LinesWith(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; }));
}

class TramexServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_ = StartEngine();
    ASSERT_TRUE(engine_);
  }

  std::filesystem::path Copy(const std::string& name) {
    std::filesystem::path path = CopyCorpus(name, folder_);
    if (path.empty()) ADD_FAILURE() << "corpus file " << name << " missing";
    return path;
  }

  // Signs the file through the production signer and HTTP transport; the file is restored on failure.
  int Sign(const std::filesystem::path& path, const std::string& url, const protocol::HttpTransportLimits& limits = {}) {
    SignableDocument prepared = OpenWithNewField(engine_.get(), path);
    if (!prepared.signature) return 9999;
    protocol::HttpPacketTransport transport(limits);
    const OnlineSigner signer =
        MakeOnlineSigner({platform::text::Utf8ToUtf16(url), u"ZQ-DEMO-0001", u"SEAL-0007"}, &transport);
    return SignOnlineWithRollback(signer, prepared.signature.get(), platform::text::Utf8ToUtf16(path.string()));
  }

  int SignatureCount(const std::filesystem::path& path) {
    qp_document document = nullptr;
    const int opened = qp_document_open(engine_.get(), &document, path.string().c_str());
    const DocumentHandle owner(document);
    return opened == QP_OK ? qp_acroform_signature_count(document) : -100;
  }

  static std::unique_ptr<TramexServerProcess> Server(const std::vector<std::string>& arguments = {}) {
    auto server = TramexServerProcess::Start(arguments);
    if (!server) ADD_FAILURE() << "tramex-server did not start";
    return server;
  }

  EngineHandle engine_;
  TempDir folder_;
};

TEST_F(TramexServerTest, SignedFileIsValidAndNamesTheDemoCertificate) {
  const std::filesystem::path path = Copy("pypdf-crazyones.pdf");
  ASSERT_FALSE(path.empty());
  auto server = Server();
  ASSERT_TRUE(server);
  ASSERT_EQ(Sign(path, server->Url()), 0);

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
  const std::vector<std::string> lines = LogLines(*server, 2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(LinesWith(lines, "POST /tramex"), 2u);
  EXPECT_EQ(LinesWith(lines, "SIGNCONTEXT HTTP 200 STATUS OK"), 1u) << lines[0] << "\n" << lines[1];
  EXPECT_EQ(LinesWith(lines, "VERIFYSIGNATURE HTTP 200 STATUS OK"), 1u) << lines[0] << "\n" << lines[1];
}

TEST_F(TramexServerTest, EarlierSignaturesStayValid) {
  auto server = Server();
  ASSERT_TRUE(server);
  const std::filesystem::path signedTwice = Copy("pyhanko-minimal-two-fields-signed-twice.pdf");
  ASSERT_FALSE(signedTwice.empty());
  ASSERT_EQ(CountOf(RunTool("pdfsig " + Quote(signedTwice)).output, "Signature is Valid"), 2);
  ASSERT_EQ(Sign(signedTwice, server->Url()), 0);
  ToolResult judged = RunTool("pdfsig " + Quote(signedTwice));
  EXPECT_EQ(CountOf(judged.output, "Signature is Valid"), 3) << judged.output;
  EXPECT_EQ(CountOf(judged.output, "Signature Field Name:"), 3) << judged.output;

  // A file this server signed once is signed again: two server signatures, both valid.
  const std::filesystem::path plain = Copy("qpdf-minimal.pdf");
  ASSERT_FALSE(plain.empty());
  ASSERT_EQ(Sign(plain, server->Url()), 0);
  ASSERT_EQ(Sign(plain, server->Url()), 0);
  judged = RunTool("pdfsig " + Quote(plain));
  EXPECT_EQ(CountOf(judged.output, "Signature is Valid"), 2) << judged.output;
  EXPECT_EQ(SignatureCount(plain), 2);
}

TEST_F(TramexServerTest, EveryServerFailureLeavesTheFileAsItWas) {
  struct Case {
    const char* mode;
    std::vector<std::string> log;  // what the server logs for each request it gets
  };
  const Case cases[] = {
      // A refusal is still followed by the verification request, with nothing to confirm.
      {"refuse", {"SIGNCONTEXT HTTP 200 STATUS REFUSED", "VERIFYSIGNATURE HTTP 200 STATUS NOSIGNATURE"}},
      // No answer the client can read: it does not ask again.
      {"http500", {"SIGNCONTEXT HTTP 500 STATUS OK"}},
      {"nocert", {"SIGNCONTEXT HTTP 200 STATUS OK"}},
      // The signature is rejected before the merge; the server is told what it sent and disowns it.
      {"garbage", {"SIGNCONTEXT HTTP 200 STATUS OK", "VERIFYSIGNATURE HTTP 200 STATUS FAIL"}},
  };
  const std::filesystem::path path = Copy("pypdf-crazyones.pdf");
  ASSERT_FALSE(path.empty());
  const std::string before = ReadFileBytes(path);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    auto server = Server({"--fail", c.mode});
    ASSERT_TRUE(server);
    EXPECT_EQ(Sign(path, server->Url()), kOnlineRefused);
    EXPECT_TRUE(ReadFileBytes(path) == before) << "the file is byte for byte what it was";
    EXPECT_EQ(SignatureCount(path), 0);
    const std::vector<std::string> lines = LogLines(*server, c.log.size());
    ASSERT_EQ(lines.size(), c.log.size());
    for (const std::string& expected : c.log) EXPECT_EQ(LinesWith(lines, expected), 1u) << expected;
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
  EXPECT_EQ(Sign(path, slow->Url(), impatient), kOnlineRefused);
  EXPECT_TRUE(ReadFileBytes(path) == before);
  EXPECT_EQ(SignatureCount(path), 0);
  // With the default read time-out the same server's answers arrive and the file is signed.
  EXPECT_EQ(Sign(path, slow->Url()), 0);
  EXPECT_EQ(SignatureCount(path), 1);

  const std::filesystem::path other = Copy("qpdf-minimal.pdf");
  ASSERT_FALSE(other.empty());
  const std::string otherBefore = ReadFileBytes(other);
  const int port = UnusedPort();
  ASSERT_NE(port, 0);
  EXPECT_EQ(Sign(other, "http://127.0.0.1:" + std::to_string(port) + "/tramex"), kOnlineRefused);
  EXPECT_TRUE(ReadFileBytes(other) == otherBefore);
  EXPECT_EQ(Sign(other, "not an address"), kOnlineRefused);
  EXPECT_TRUE(ReadFileBytes(other) == otherBefore);
}

// Requests made by hand, posted with the client's headers, for the server's side of the exchange.
class TramexServerRequests : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = TramexServerProcess::Start({});
    ASSERT_TRUE(server_) << "tramex-server did not start";
    certificate_ = *crypto::Certificate::FromPem(ReadFileBytes(kDemoKey / "signer.pem"));
  }

  platform::net::HttpAnswer Post(std::string_view body) const {
    const platform::net::HttpHeaders headers = {
        {"X-Requested-With", "XMLHttpRequest"},
        {"Content-Type", "application/x-www-form-urlencoded; charset=UTF-8"},
        {"Content-Length", std::to_string(body.size())},
    };
    return platform::net::HttpPost(server_->Url(), body, headers);
  }

  // A signing request over the attributes of a digest made from the seed.
  static crypto::Bytes Attributes(const std::string& seed) { return crypto::BuildSignedAttributes(crypto::Sha1(crypto::AsBytes(seed))); }
  static std::vector<PacketField> SigningRequest(const crypto::Bytes& attributes) {
    return {{u"TRAMEX", u"TRAMEX"},
            {u"OPTION", u"SIGNCONTEXT"},
            {u"KEYSN", u"ZQ-DEMO-0001"},
            {u"SIGNSN", u"SEAL-0007"},
            {u"CERTTEXT", platform::text::Utf8ToUtf16(support::Base64Encode(attributes))},
            {u"CN", u"123420261208101500"}};
  }

  // True when the answer is a 200 with STATUS OK and a signature of the demo key over the attributes.
  bool SignedByDemoKey(const platform::net::HttpAnswer& answer, const crypto::Bytes& attributes) const {
    if (answer.failure != platform::net::HttpFailure::None || answer.status != 200) return false;
    if (protocol::ReadPacketField(answer.body, u"STATUS") != u"OK") return false;
    const auto signature = protocol::DecodeStandardBase64(protocol::ReadPacketField(answer.body, u"SIGNRESULT"));
    const auto certificate = protocol::DecodeStandardBase64(protocol::ReadPacketField(answer.body, u"CERTCONTEXT"));
    return signature && certificate && *certificate == certificate_->Der() &&
           crypto::VerifyPkcs1Sha1(*certificate_, attributes, *signature);
  }

  // A plain TCP connection to the server, for requests the HTTP client would not make; -1 on failure.
  int ConnectToServer() const {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(server_->Port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  }
  // Everything the server sends until it closes the connection.
  static std::string ReceiveAll(int fd) {
    std::string reply;
    char chunk[4096];
    for (ssize_t got; (got = recv(fd, chunk, sizeof chunk, 0)) > 0;) reply.append(chunk, static_cast<std::size_t>(got));
    return reply;
  }

  std::unique_ptr<TramexServerProcess> server_;
  std::optional<crypto::Certificate> certificate_;
};

TEST_F(TramexServerRequests, MalformedPacketsAreRefused) {
  const crypto::Bytes attributes = Attributes("malformed");
  std::vector<PacketField> noNumber = SigningRequest(attributes);
  noNumber.pop_back();
  std::vector<PacketField> notAttributes = SigningRequest(attributes);
  notAttributes[4].value = u"AAECAwQF";
  std::vector<PacketField> wrongMagic = SigningRequest(attributes);
  wrongMagic[0].value = u"XAMERT";
  const std::string good = protocol::BuildPacket(SigningRequest(attributes));
  const std::string goodBody = good.substr(good.find("TRAMEX="));
  const std::string lengthLies = protocol::FormatPacketHeader(goodBody.size() + 1) + goodBody;

  const std::vector<std::pair<std::string, std::string>> bodies = {
      {"empty body", ""},
      {"not a packet", "hello"},
      {"header only", protocol::FormatPacketHeader(0)},
      {"stated length differs", lengthLies},
      {"body cut short", good.substr(0, good.size() - 5)},
      {"no request number", protocol::BuildPacket(noNumber)},
      {"attributes not a DER SET", protocol::BuildPacket(notAttributes)},
      {"TRAMEX field wrong", protocol::BuildPacket(wrongMagic)},
      {"neither OPTION nor COMMAND", protocol::BuildPacket(std::vector<PacketField>{{u"TRAMEX", u"TRAMEX"}})},
  };
  for (const auto& [label, body] : bodies) {
    SCOPED_TRACE(label);
    const platform::net::HttpAnswer answer = Post(body);
    ASSERT_EQ(answer.failure, platform::net::HttpFailure::None) << answer.failureText;
    EXPECT_EQ(answer.status, 400);
    EXPECT_EQ(protocol::ReadPacketField(answer.body, u"STATUS"), u"MALFORMED");
    EXPECT_EQ(protocol::ReadPacketField(answer.body, u"SIGNRESULT"), u"");
  }
  // The well-formed request the bad ones were made from is signed.
  EXPECT_TRUE(SignedByDemoKey(Post(good), attributes));

  const std::vector<std::string> lines = LogLines(*server_, bodies.size() + 1);
  ASSERT_EQ(lines.size(), bodies.size() + 1);
  EXPECT_EQ(LinesWith(lines, "HTTP 400 STATUS MALFORMED"), bodies.size());
  EXPECT_EQ(LinesWith(lines, " " + std::to_string(good.size()) + "B SIGNCONTEXT HTTP 200 STATUS OK"), 1u);
}

TEST_F(TramexServerRequests, RequestWithinTheSizeBoundIsServed) {
  // Well past 8 KiB and under 64 KiB, with the client's form content type: a large certificate in a
  // verification request comes to this size.
  const crypto::Bytes attributes = Attributes("within");
  std::vector<PacketField> fields = SigningRequest(attributes);
  fields[3].value = std::u16string(24'000, u'S');
  const std::string packet = protocol::BuildPacket(fields);
  ASSERT_GT(packet.size(), 30u * 1024);
  ASSERT_LT(packet.size(), 64u * 1024);
  EXPECT_TRUE(SignedByDemoKey(Post(packet), attributes));
  const std::vector<std::string> lines = LogLines(*server_, 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(" " + std::to_string(packet.size()) + "B SIGNCONTEXT HTTP 200 STATUS OK"), std::string::npos)
      << lines[0];
}

TEST_F(TramexServerRequests, RequestOverTheSizeBoundIsRefused) {
  // A signing request whose serial pads it past 64 KiB: well formed apart from its size.
  std::vector<PacketField> fields = SigningRequest(Attributes("large"));
  fields[3].value = std::u16string(50'000, u'S');
  const std::string large = protocol::BuildPacket(fields);
  ASSERT_GT(large.size(), 64u * 1024);
  const platform::net::HttpAnswer answer = Post(large);
  // The server may answer before it has read the body or close the connection under the client.
  EXPECT_FALSE(answer.failure == platform::net::HttpFailure::None && answer.status == 200);
  EXPECT_EQ(protocol::ReadPacketField(answer.body, u"STATUS"), u"");
  // The server is still there for a request of ordinary size.
  const crypto::Bytes attributes = Attributes("after");
  EXPECT_TRUE(SignedByDemoKey(Post(protocol::BuildPacket(SigningRequest(attributes))), attributes));
  const std::vector<std::string> lines = LogLines(*server_, 2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(LinesWith(lines, "HTTP 413"), 1u);
  EXPECT_EQ(LinesWith(lines, "SIGNCONTEXT HTTP 200 STATUS OK"), 1u);
}

TEST_F(TramexServerRequests, BodyOfUnstatedLengthIsRefusedUnread) {
  // A chunked body would otherwise be read whole, whatever its size, before the bound could apply: the
  // request is refused on its headers, and the chunks that follow are never taken for further requests.
  const int connection = ConnectToServer();
  ASSERT_GE(connection, 0);
  std::string request = "POST /tramex HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n";
  const std::string chunk(4096, 'A');
  for (int i = 0; i < 64; ++i) request += "1000\r\n" + chunk + "\r\n";
  request += "0\r\n\r\n";
  (void)send(connection, request.data(), request.size(), MSG_NOSIGNAL);
  const std::string reply = ReceiveAll(connection);
  close(connection);
  EXPECT_EQ(reply.rfind("HTTP/1.1 411", 0), 0u) << reply.substr(0, 200);
  EXPECT_EQ(CountOf(reply, "HTTP/1.1 "), 1) << "one answer, however many chunks were sent";

  // The server goes on answering ordinary requests.
  const crypto::Bytes attributes = Attributes("after chunks");
  EXPECT_TRUE(SignedByDemoKey(Post(protocol::BuildPacket(SigningRequest(attributes))), attributes));
  const std::vector<std::string> lines = LogLines(*server_, 2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(LinesWith(lines, " 0B - HTTP 411"), 1u) << lines[0] << "\n" << lines[1];
  EXPECT_EQ(LinesWith(lines, "SIGNCONTEXT HTTP 200 STATUS OK"), 1u);
}

TEST_F(TramexServerRequests, SeveralClientsAreServedAtOnce) {
  // A client that has sent half its request holds a connection open; others are served meanwhile.
  const int held = ConnectToServer();
  ASSERT_GE(held, 0);
  const crypto::Bytes heldAttributes = Attributes("held");
  std::vector<PacketField> heldFields = SigningRequest(heldAttributes);
  heldFields[2].value = u"ZQ-DEMO-0001-HELD";  // a body size of its own, to find its log line
  const std::string heldBody = protocol::BuildPacket(heldFields);
  const std::string heldHead = "POST /tramex HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: " +
                               std::to_string(heldBody.size()) + "\r\n\r\n";
  ASSERT_EQ(send(held, heldHead.data(), heldHead.size(), MSG_NOSIGNAL), static_cast<ssize_t>(heldHead.size()));

  constexpr int kClients = 8;
  std::atomic<int> signedCount{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      const crypto::Bytes attributes = Attributes("client " + std::to_string(i));
      if (SignedByDemoKey(Post(protocol::BuildPacket(SigningRequest(attributes))), attributes)) ++signedCount;
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(signedCount.load(), kClients);

  // The held client finishes its request and gets its signature too.
  ASSERT_EQ(send(held, heldBody.data(), heldBody.size(), MSG_NOSIGNAL), static_cast<ssize_t>(heldBody.size()));
  const std::string reply = ReceiveAll(held);
  close(held);
  ASSERT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u) << reply;
  platform::net::HttpAnswer heldAnswer;
  heldAnswer.status = 200;
  heldAnswer.body = reply.substr(reply.find("\r\n\r\n") + 4);
  EXPECT_TRUE(SignedByDemoKey(heldAnswer, heldAttributes));

  // One line per request, each from its own client port.
  const std::vector<std::string> lines = LogLines(*server_, kClients + 1);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kClients + 1));
  std::set<std::string> clientPorts;
  for (const std::string& line : lines) {
    EXPECT_NE(line.find("SIGNCONTEXT HTTP 200 STATUS OK"), std::string::npos) << line;
    clientPorts.insert(line.substr(0, line.find(" POST")));
  }
  EXPECT_EQ(clientPorts.size(), lines.size());
  EXPECT_EQ(LinesWith(lines, " " + std::to_string(heldBody.size()) + "B SIGNCONTEXT"), 1u);
}

}  // namespace
}  // namespace sealrun::signing::testing
