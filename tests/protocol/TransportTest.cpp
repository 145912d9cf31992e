// The HTTP exchange of a packet against a small server run by the test: what is sent, and every way an
// exchange gives no answer.
#include <httplib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "platform/text/CodePage.h"
#include "protocol/PacketTransport.h"

namespace sealrun::protocol {
namespace {

// One HTTP server on a loopback port, answering POSTs with the handler given.
class LoopbackServer {
 public:
  explicit LoopbackServer(httplib::Server::Handler handler) {
    server_.Post(".*", std::move(handler));
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~LoopbackServer() {
    server_.stop();
    thread_.join();
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;
  std::string Url(const std::string& path = "/sign") const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

TEST(HttpPacketTransport, PostsThePacketWithTheRequestObjectsHeaders) {
  std::mutex mutex;
  httplib::Request seen;
  LoopbackServer server([&](const httplib::Request& request, httplib::Response& response) {
    const std::lock_guard lock(mutex);
    seen = request;
    response.set_content("TRAMEX V3.0 answer STATUS=xyz\r\n", "text/plain");
  });
  const std::string packet = "TRAMEX V3.0     4              0               0               A=\r\n";
  EXPECT_EQ(PostPacket(server.Url("/tramex?x=1"), packet), "TRAMEX V3.0 answer STATUS=xyz\r\n");
  const std::lock_guard lock(mutex);
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.path, "/tramex");
  EXPECT_EQ(seen.get_param_value("x"), "1");
  EXPECT_EQ(seen.body, packet);
  EXPECT_EQ(seen.get_header_value("X-Requested-With"), "XMLHttpRequest");
  EXPECT_EQ(seen.get_header_value("Content-Type"), "application/x-www-form-urlencoded; charset=UTF-8");
  EXPECT_EQ(seen.get_header_value("Content-Length"), std::to_string(packet.size()));
  EXPECT_EQ(seen.get_header_value_count("Content-Length"), 1u);
}

TEST(HttpPacketTransport, OnlyStatus200GivesAnAnswer) {
  int status = 500;
  LoopbackServer server([&](const httplib::Request&, httplib::Response& response) {
    response.status = status;
    response.set_content("TRAMEX V3.0     9              0               0               STATUS=3S\r\n", "text/plain");
  });
  EXPECT_EQ(PostPacket(server.Url(), "p"), "") << "a 500 with a packet in its body";
  status = 404;
  EXPECT_EQ(PostPacket(server.Url(), "p"), "");
  status = 302;
  EXPECT_EQ(PostPacket(server.Url(), "p"), "") << "redirects are not followed";
  status = 200;
  EXPECT_NE(PostPacket(server.Url(), "p"), "");
}

TEST(HttpPacketTransport, NoServerBadAddressSlowOrOversizedAnswerGiveNothing) {
  LoopbackServer slow([](const httplib::Request& request, httplib::Response& response) {
    if (request.path == "/slow") std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    response.set_content(std::string(request.path == "/large" ? 300'000 : 10, 'A'), "text/plain");
  });
  HttpTransportLimits limits;
  limits.readTimeout = std::chrono::milliseconds(300);
  limits.maxAnswerBytes = 200'000;
  HttpPacketTransport transport(limits);
  EXPECT_EQ(PostPacket(slow.Url("/fast"), "p", transport), std::string(10, 'A'));

  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(PostPacket(slow.Url("/slow"), "p", transport), "");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1400)) << "gave up at the time-out";
  EXPECT_EQ(PostPacket(slow.Url("/large"), "p", transport), "");

  std::string closedPort;
  {
    LoopbackServer gone([](const httplib::Request&, httplib::Response&) {});
    closedPort = gone.Url();
  }
  EXPECT_EQ(PostPacket(closedPort, "p", transport), "");
  for (const char* address : {"", "127.0.0.1", "ftp://127.0.0.1/", "http://", "http://host:99999/", "http://a b/",
                              "http://user:pw@127.0.0.1/"}) {
    EXPECT_EQ(PostPacket(address, "p", transport), "") << address;
  }
}

TEST(HttpPacketTransport, AnswerTextComesBackInTheAnsiCodePage) {
  const platform::text::CodePage saved = platform::text::AnsiCodePage();
  platform::text::SetAnsiCodePage(platform::text::kCpGbk);
  LoopbackServer server([](const httplib::Request&, httplib::Response& response) {
    response.set_content("STATUS=\xE7\x8A\xB6\xE6\x80\x81", "text/plain; charset=UTF-8");  // 状态 in UTF-8
  });
  EXPECT_EQ(PostPacket(server.Url(), "p"), "STATUS=\xD7\xB4\xCC\xAC");  // 状态 in GBK
  platform::text::SetAnsiCodePage(saved);
}

}  // namespace
}  // namespace sealrun::protocol
