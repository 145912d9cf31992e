// tramex-server's side of the exchange, with requests made by hand: malformed packets, the request bound
// (stated lengths, unstated ones, the clients' form content type), several clients at once, and one log
// line per request.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <set>
#include <thread>

#include "platform/crypto/Digest.h"
#include "platform/crypto/SignedDataBuilder.h"
#include "platform/net/HttpClient.h"
#include "tests/apps/TramexServerProcess.h"
#include "tests/signing/SignOnlineTestSupport.h"

namespace sealrun::signing::testing {
namespace {

using sealrun::testing::LinesWith;
using sealrun::testing::LinesWithAll;
using sealrun::testing::ReadFileBytes;
using sealrun::testing::TramexServerProcess;

const std::filesystem::path kDemoKey = SEALRUN_DEMO_KEY;

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

  const std::vector<std::string> lines = server_->RequestLines(bodies.size() + 1);
  ASSERT_EQ(lines.size(), bodies.size() + 1);
  EXPECT_EQ(LinesWith(lines, "http=400 status=MALFORMED"), bodies.size());
  EXPECT_EQ(LinesWithAll(lines, {" bytes=" + std::to_string(good.size()) + " kind=SIGNCONTEXT ", "http=200 status=OK"}), 1u);
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
  const std::vector<std::string> lines = server_->RequestLines(1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(LinesWithAll(lines, {" bytes=" + std::to_string(packet.size()) + " kind=SIGNCONTEXT ", "http=200 status=OK"}), 1u)
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
  const std::vector<std::string> lines = server_->RequestLines(2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(LinesWith(lines, " http=413 "), 1u);
  EXPECT_EQ(LinesWithAll(lines, {"kind=SIGNCONTEXT", "http=200 status=OK"}), 1u);
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
  const std::vector<std::string> lines = server_->RequestLines(2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(LinesWith(lines, " bytes=0 kind=- keysn=- http=411 "), 1u) << lines[0] << "\n" << lines[1];
  EXPECT_EQ(LinesWithAll(lines, {"kind=SIGNCONTEXT", "http=200 status=OK"}), 1u);
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
  const std::vector<std::string> lines = server_->RequestLines(kClients + 1);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kClients + 1));
  std::set<std::string> clientPorts;
  for (const std::string& line : lines) {
    EXPECT_EQ(LinesWithAll({line}, {"kind=SIGNCONTEXT", "http=200 status=OK"}), 1u) << line;
    clientPorts.insert(sealrun::testing::LogField(line, "client_addr"));
  }
  EXPECT_EQ(clientPorts.size(), lines.size());
  EXPECT_EQ(LinesWith(lines, " bytes=" + std::to_string(heldBody.size()) + " kind=SIGNCONTEXT"), 1u);
}

}  // namespace
}  // namespace sealrun::signing::testing
