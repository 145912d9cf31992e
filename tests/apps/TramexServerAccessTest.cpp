// Which clients tramex-server serves, and for which keys: bearer tokens configured by their SHA-256, key
// serials per client, verification requests that need a known client too, and an open server that says so.
#include <gtest/gtest.h>

#include "tests/apps/TramexRequests.h"
#include "tests/apps/TramexServerProcess.h"

namespace sealrun::signing::testing {
namespace {

using sealrun::testing::LinesWithAll;
using sealrun::testing::TempDir;
using sealrun::testing::TramexServerProcess;
using sealrun::testing::WriteFileBytes;

constexpr char kBobToken[] = "bob-0123456789-secret";
constexpr char kCarolToken[] = "carol-9876543210-secret";

class TramexServerAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path config = folder_ / "tramex-server.conf";
    WriteFileBytes(config, "listen = 127.0.0.1:9\n"  // the test's --listen wins
                           "[client bob]\n"
                           "token_sha256 = " + Sha256Hex(kBobToken) + "\n"
                           "key_serials = BOB-KEY-0001, BOB-KEY-0002\n"
                           "[client carol]\n"
                           "token_sha256 = " + Sha256Hex(kCarolToken) + "\n"
                           "key_serials =\n");
    server_ = TramexServerProcess::Start({"--config", config.string()});
    ASSERT_TRUE(server_) << "tramex-server did not start";
  }

  TempDir folder_;
  std::unique_ptr<TramexServerProcess> server_;
};

TEST_F(TramexServerAccess, KnownTokensAreServedForTheirKeysOnly) {
  struct Case {
    const char* label;
    std::string packet;
    std::string token;
    int httpStatus;
    std::u16string status;
    std::vector<std::string> logged;
  };
  const Case cases[] = {
      {"bob signs with his key", SigningPacket("bob", u"BOB-KEY-0002"), kBobToken, 200, u"OK",
       {"client=bob", "kind=SIGNCONTEXT keysn=BOB-KEY-0002 http=200 status=OK"}},
      {"bob asks for a key that is not his", SigningPacket("bob other", u"ZQ-DEMO-0001"), kBobToken, 403, u"FORBIDDEN",
       {"client=bob", "keysn=ZQ-DEMO-0001 http=403 status=FORBIDDEN", "reason=\"key serial not allowed"}},
      {"carol may only verify", SigningPacket("carol", u"BOB-KEY-0001"), kCarolToken, 403, u"FORBIDDEN",
       {"client=carol", "keysn=BOB-KEY-0001 http=403"}},
      {"carol verifies", VerificationPacket("carol"), kCarolToken, 200, u"NOSIGNATURE",
       {"client=carol", "kind=VERIFYSIGNATURE", "http=200 status=NOSIGNATURE"}},
      {"a token nobody has", SigningPacket("guess", u"BOB-KEY-0001"), "bob-0123456789-secreT", 401, u"UNAUTHORIZED",
       {"client=-", "http=401 status=UNAUTHORIZED", "reason=\"unknown client\""}},
      {"no token", SigningPacket("none", u"BOB-KEY-0001"), "", 401, u"UNAUTHORIZED",
       {"client=-", "http=401 status=UNAUTHORIZED"}},
      {"a verification without a token", VerificationPacket("none"), "", 401, u"UNAUTHORIZED",
       {"client=-", "http=401 status=UNAUTHORIZED"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const platform::net::HttpAnswer answer = PostPacket(server_->Url(), c.packet, c.token);
    ASSERT_EQ(answer.failure, platform::net::HttpFailure::None) << answer.failureText;
    EXPECT_EQ(answer.status, c.httpStatus);
    EXPECT_EQ(protocol::ReadPacketField(answer.body, u"STATUS"), c.status);
    EXPECT_EQ(protocol::ReadPacketField(answer.body, u"SIGNRESULT").empty(), c.status != u"OK");
    const std::vector<std::string> lines = server_->RequestLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(LinesWithAll(lines, c.logged), 1u) << lines[0];
  }
}

TEST_F(TramexServerAccess, TheFirstLogLineSaysWhetherClientsMustAuthenticate) {
  // Read before any request: the start line is the first of the log.
  EXPECT_EQ(LinesWithAll({server_->ReadLogLine()}, {"event=start", "clients=2", "auth=on"}), 1u);
  const auto open = TramexServerProcess::Start({});
  ASSERT_TRUE(open);
  EXPECT_EQ(LinesWithAll({open->ReadLogLine()}, {"event=start", "clients=0", "auth=off", "without authentication"}), 1u);
}

}  // namespace
}  // namespace sealrun::signing::testing
