// tramex-server's bounds on time and connections, with real sockets: clients that trickle their headers are
// cut at the header deadline and do not hold up a real request, connections over the limit are turned away
// at once, and SIGTERM ends the server promptly with exit code 0 even with requests in flight.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "tests/apps/TramexRequests.h"
#include "tests/apps/TramexServerProcess.h"

namespace sealrun::signing::testing {
namespace {

using sealrun::testing::LinesWith;
using sealrun::testing::LinesWithAll;
using sealrun::testing::TramexServerProcess;
using Clock = std::chrono::steady_clock;

// What the server sends until it closes the connection, waiting at most `wait`.
std::string ReceiveUntilClosed(int fd, std::chrono::milliseconds wait) {
  std::string reply;
  const auto deadline = Clock::now() + wait;
  while (Clock::now() < deadline) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 50) <= 0) continue;
    char chunk[4096];
    const ssize_t got = recv(fd, chunk, sizeof chunk, 0);
    if (got <= 0) break;
    reply.append(chunk, static_cast<std::size_t>(got));
  }
  return reply;
}

// A client that sends a request line and then one header line every 300 ms, for ever; it notes when the
// server ended the connection and what it said.
struct TricklingClient {
  std::atomic<bool> cut{false};
  std::chrono::milliseconds heldFor{0};
  std::string reply;

  void Run(int port, std::chrono::seconds giveUp) {
    const int fd = ConnectToLoopback(port);
    if (fd < 0) return;
    const auto start = Clock::now();
    std::string line = "POST /tramex HTTP/1.1\r\n";
    for (int n = 0; Clock::now() - start < giveUp; ++n) {
      if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) < 0) break;
      line = "X-Slow-" + std::to_string(n) + ": still coming\r\n";
      pollfd ready{fd, POLLIN, 0};
      if (poll(&ready, 1, 300) > 0) {
        reply = ReceiveUntilClosed(fd, std::chrono::seconds(3));
        break;
      }
    }
    heldFor = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    cut = Clock::now() - start < giveUp;
    close(fd);
  }
};

TEST(TramexServerLimits, SlowClientsAreCutAtTheHeaderDeadlineAndDoNotHoldUpARealRequest) {
  auto server = TramexServerProcess::Start({"--header-timeout", "2s"});
  ASSERT_TRUE(server);
  constexpr int kSlow = 16;
  std::vector<TricklingClient> slow(kSlow);
  std::vector<std::thread> threads;
  for (TricklingClient& client : slow) threads.emplace_back([&] { client.Run(server->Port(), std::chrono::seconds(12)); });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  // A real request comes in while every slow client is still connected, and is answered before any is cut.
  const platform::net::HttpAnswer answer = PostPacket(server->Url(), SigningPacket("real"));
  int cutBeforeTheAnswer = 0;
  for (const TricklingClient& client : slow) cutBeforeTheAnswer += client.cut ? 1 : 0;
  EXPECT_EQ(answer.status, 200) << answer.failureText;
  EXPECT_EQ(protocol::ReadPacketField(answer.body, u"STATUS"), u"OK");
  EXPECT_EQ(cutBeforeTheAnswer, 0);

  for (std::thread& thread : threads) thread.join();
  for (const TricklingClient& client : slow) {
    EXPECT_TRUE(client.cut) << "held for " << client.heldFor.count() << " ms";
    // Cut at the deadline, not before and not long after, with an answer saying why.
    EXPECT_GE(client.heldFor.count(), 1900);
    EXPECT_LT(client.heldFor.count(), 9000);
    EXPECT_EQ(client.reply.rfind("HTTP/1.1 408", 0), 0u) << client.reply;
  }
  const std::vector<std::string> lines = server->RequestLines(kSlow + 1);
  EXPECT_EQ(LinesWithAll(lines, {"http=408", "reason=\"header deadline passed\""}), static_cast<std::size_t>(kSlow));
  EXPECT_EQ(LinesWithAll(lines, {"kind=SIGNCONTEXT", "http=200 status=OK"}), 1u);
}

TEST(TramexServerLimits, ConnectionsOverTheLimitAreTurnedAwayAtOnce) {
  auto server = TramexServerProcess::Start({"--max-connections", "2", "--header-timeout", "2s"});
  ASSERT_TRUE(server);
  // Two silent clients take both slots.
  const int first = ConnectToLoopback(server->Port());
  const int second = ConnectToLoopback(server->Port());
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  const int third = ConnectToLoopback(server->Port());
  ASSERT_GE(third, 0);
  const std::string turnedAway = ReceiveUntilClosed(third, std::chrono::seconds(1));
  close(third);
  EXPECT_EQ(turnedAway.rfind("HTTP/1.1 503", 0), 0u) << turnedAway;

  // The silent ones keep their slots until their deadline; then a real request is served again.
  EXPECT_EQ(ReceiveUntilClosed(first, std::chrono::seconds(5)).rfind("HTTP/1.1 408", 0), 0u);
  EXPECT_EQ(ReceiveUntilClosed(second, std::chrono::seconds(5)).rfind("HTTP/1.1 408", 0), 0u);
  close(first);
  close(second);
  const platform::net::HttpAnswer answer = PostPacket(server->Url(), SigningPacket("after the limit"));
  EXPECT_EQ(answer.status, 200) << answer.failureText;
  EXPECT_EQ(protocol::ReadPacketField(answer.body, u"STATUS"), u"OK");

  const std::vector<std::string> lines = server->RequestLines(4);
  EXPECT_EQ(LinesWithAll(lines, {"http=503", "reason=\"connection limit reached\""}), 1u);
  EXPECT_EQ(LinesWith(lines, "http=408"), 2u);
  EXPECT_EQ(LinesWith(lines, "http=200 status=OK"), 1u);
}

TEST(TramexServerLimits, SigtermEndsTheServerPromptlyWithRequestsInFlight) {
  // Every answer waits 20 s; a client holds a half-sent head with a 10 s deadline.
  auto server = TramexServerProcess::Start({"--delay", "20000"});
  ASSERT_TRUE(server);
  const int idle = ConnectToLoopback(server->Port());
  ASSERT_GE(idle, 0);
  const std::string partial = "POST /tramex HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  ASSERT_EQ(send(idle, partial.data(), partial.size(), MSG_NOSIGNAL), static_cast<ssize_t>(partial.size()));
  std::future<platform::net::HttpAnswer> inFlight =
      std::async(std::launch::async, [&] { return PostPacket(server->Url(), SigningPacket("in flight")); });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  const auto stopping = Clock::now();
  EXPECT_EQ(server->Terminate(std::chrono::seconds(15)), 0);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - stopping);
  // Neither the 20 s delay nor the 10 s header deadline was waited for (the bound leaves room for a loaded
  // machine and the sanitizers).
  EXPECT_LT(took.count(), 8000);
  // The request being answered got its answer; the half-sent one was told the server is stopping.
  const platform::net::HttpAnswer answer = inFlight.get();
  EXPECT_EQ(answer.status, 200) << answer.failureText;
  EXPECT_EQ(protocol::ReadPacketField(answer.body, u"STATUS"), u"OK");
  EXPECT_EQ(ReceiveUntilClosed(idle, std::chrono::seconds(2)).rfind("HTTP/1.1 503", 0), 0u);
  close(idle);
  const std::vector<std::string> lines = server->RequestLines(2);
  EXPECT_EQ(LinesWithAll(lines, {"reason=\"server stopping\""}), 1u);
  EXPECT_EQ(LinesWithAll(lines, {"kind=SIGNCONTEXT", "http=200 status=OK"}), 1u);
}

}  // namespace
}  // namespace sealrun::signing::testing
