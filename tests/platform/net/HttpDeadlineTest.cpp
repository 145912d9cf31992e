// A server that answers a byte at a time never trips a per-read time-out; the exchange's own deadline ends it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/net/HttpClient.h"

namespace sealrun::platform::net {
namespace {

// Accepts one connection on a loopback port, reads the request, then sends a status line and an endless
// header one byte every 50 ms until the client goes away.
class TricklingServer {
 public:
  TricklingServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 1);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TricklingServer() {
    stop_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  TricklingServer(const TricklingServer&) = delete;
  TricklingServer& operator=(const TricklingServer&) = delete;

  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/sign"; }
  int BytesSent() const { return sent_; }

 private:
  void Serve() {
    const int connection = ::accept(listener_, nullptr, nullptr);
    if (connection < 0) return;
    char buffer[4096];
    (void)::recv(connection, buffer, sizeof buffer, 0);
    const std::string head = "HTTP/1.1 200 OK\r\nX-Slow: ";
    if (::send(connection, head.data(), head.size(), MSG_NOSIGNAL) > 0) {
      while (!stop_ && ::send(connection, "a", 1, MSG_NOSIGNAL) == 1) {
        ++sent_;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
    ::close(connection);
  }

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> sent_{0};
  std::thread thread_;
};

TEST(HttpPost, AnAnswerTrickledInAByteAtATimeIsCutOffAtTheExchangesDeadline) {
  TricklingServer server;
  HttpPostOptions options;
  options.ioTimeout = std::chrono::milliseconds(400);     // never reached: a byte comes every 50 ms
  options.totalTimeout = std::chrono::milliseconds(600);
  const HttpAnswer answer = HttpPost(server.Url(), "packet", {}, options);
  EXPECT_EQ(answer.failure, HttpFailure::Timeout) << answer.failureText;
  EXPECT_EQ(answer.status, 0);
  EXPECT_GT(server.BytesSent(), 2) << "the server was still sending when the exchange was cut off";
}

}  // namespace
}  // namespace sealrun::platform::net
