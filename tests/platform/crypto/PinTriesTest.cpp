// The try counter of a software seal key: wrong PINs counted in the key folder and cleared by a right one,
// checks that wait longer after a few wrong PINs, the lock after ten and the unlock code that lifts it,
// nothing checked when nothing can be counted, and two processes failing at once losing no count.
#include "platform/crypto/PinTries.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "tests/testsupport/TempDir.h"

namespace sealrun::platform::crypto {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;

// Time that passes only when the counter waits, or when a test moves it on.
class FakeClock final : public PinTryClock {
 public:
  std::chrono::system_clock::time_point Now() override { return now; }
  void Wait(milliseconds duration) override {
    waits.push_back(duration);
    now += duration;
  }
  std::chrono::system_clock::time_point now = std::chrono::system_clock::time_point(seconds(1'700'000'000));
  std::vector<milliseconds> waits;
};

class PinTriesTest : public ::testing::Test {
 protected:
  PinTries Tries(PinTryPolicy policy = {}) { return PinTries(temp_.Path(), policy, clock_); }
  PinTryResult Try(PinTries& tries, PinMatch match) {
    return tries.CheckPin([&] {
      ++checks_;
      return match;
    });
  }
  PinTryResult TryCode(PinTries& tries, PinMatch match) {
    return tries.CheckUnlockCode([&] {
      ++checks_;
      return match;
    });
  }

  sealrun::testing::TempDir temp_;
  FakeClock clock_;
  int checks_ = 0;
};

TEST_F(PinTriesTest, WrongPinsAreCountedInAPrivateFileAndARightOneClearsThem) {
  PinTries tries = Tries();
  EXPECT_EQ(tries.TriesLeft(), 10);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(Try(tries, PinMatch::Wrong), PinTryResult::Refused);
    EXPECT_EQ(tries.Count().wrongPins, i);
  }
  EXPECT_EQ(tries.TriesLeft(), 7);
  struct stat info {};
  ASSERT_EQ(stat(tries.File().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  for (const auto& entry : fs::directory_iterator(temp_.Path()))
    EXPECT_EQ(entry.path().filename(), PinTries::kFileName) << "no temporary file is left behind";
  EXPECT_TRUE(clock_.waits.empty()) << "the first wrong PINs cost no wait";

  EXPECT_EQ(Try(tries, PinMatch::Right), PinTryResult::Accepted);
  EXPECT_EQ(tries.Count().wrongPins, 0);
  EXPECT_FALSE(fs::exists(tries.File())) << "a key never mistyped leaves no counter";
  EXPECT_EQ(checks_, 4);
}

TEST_F(PinTriesTest, ChecksWaitLongerAfterFiveWrongPinsAndTenLockTheKey) {
  PinTries tries = Tries();
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Try(tries, PinMatch::Wrong), PinTryResult::Refused) << i;
  const std::vector<milliseconds> expected = {seconds(1), seconds(2), seconds(4), seconds(8), seconds(16)};
  EXPECT_EQ(clock_.waits, expected);
  EXPECT_TRUE(tries.Locked());
  EXPECT_EQ(tries.TriesLeft(), 0);

  const int checked = checks_;
  clock_.now += std::chrono::hours(24 * 365);
  EXPECT_EQ(Try(tries, PinMatch::Right), PinTryResult::Locked) << "a locked key refuses even the right PIN";
  EXPECT_EQ(checks_, checked) << "and checks nothing";
  EXPECT_EQ(tries.Count().wrongPins, 10);
}

TEST_F(PinTriesTest, TheWaitRunsFromTheLastWrongPin) {
  PinTries tries = Tries();
  for (int i = 0; i < 6; ++i) Try(tries, PinMatch::Wrong);
  EXPECT_EQ(tries.WaitAfter(6), seconds(2));
  clock_.waits.clear();
  clock_.now += milliseconds(1500);
  Try(tries, PinMatch::Wrong);
  EXPECT_EQ(clock_.waits, std::vector<milliseconds>{milliseconds(500)}) << "only what is left of the wait";
  clock_.waits.clear();
  clock_.now += seconds(30);
  Try(tries, PinMatch::Right);
  EXPECT_TRUE(clock_.waits.empty()) << "a user who waited anyway does not wait again";

  for (int i = 0; i < 6; ++i) Try(tries, PinMatch::Wrong);
  clock_.waits.clear();
  clock_.now -= std::chrono::hours(1);  // the clock set back
  Try(tries, PinMatch::Wrong);
  EXPECT_EQ(clock_.waits, std::vector<milliseconds>{seconds(2)}) << "a clock set back makes the whole wait";
  EXPECT_EQ(tries.WaitAfter(40), seconds(60)) << "no wait is longer than a minute";
}

TEST_F(PinTriesTest, TheUnlockCodeLiftsTheLockAndWrongCodesAreCountedApart) {
  PinTries tries = Tries({.freeTries = 100});
  for (int i = 0; i < 10; ++i) Try(tries, PinMatch::Wrong);
  ASSERT_TRUE(tries.Locked());
  EXPECT_EQ(TryCode(tries, PinMatch::Wrong), PinTryResult::Refused);
  EXPECT_EQ(tries.Count().wrongUnlockCodes, 1);
  EXPECT_TRUE(tries.Locked()) << "a wrong code unlocks nothing";
  EXPECT_EQ(TryCode(tries, PinMatch::Right), PinTryResult::Accepted);
  EXPECT_FALSE(tries.Locked());
  EXPECT_EQ(tries.Count().wrongUnlockCodes, 0) << "a right code clears both counts";
  EXPECT_EQ(Try(tries, PinMatch::Right), PinTryResult::Accepted);

  // Wrong codes outlive a right PIN, and ten of them leave a key nobody can unlock.
  for (int i = 0; i < 9; ++i) TryCode(tries, PinMatch::Wrong);
  EXPECT_EQ(Try(tries, PinMatch::Right), PinTryResult::Accepted);
  EXPECT_EQ(tries.Count().wrongUnlockCodes, 9);
  EXPECT_EQ(TryCode(tries, PinMatch::Wrong), PinTryResult::Refused);
  for (int i = 0; i < 10; ++i) Try(tries, PinMatch::Wrong);
  const int checked = checks_;
  EXPECT_EQ(TryCode(tries, PinMatch::Right), PinTryResult::Locked);
  EXPECT_EQ(checks_, checked);
  EXPECT_TRUE(tries.Locked());
}

TEST_F(PinTriesTest, NothingCheckedIsNothingCounted) {
  PinTries tries = Tries();
  Try(tries, PinMatch::Wrong);
  EXPECT_EQ(Try(tries, PinMatch::Unchecked), PinTryResult::Unchecked);
  EXPECT_EQ(tries.Count().wrongPins, 1);
  EXPECT_EQ(TryCode(tries, PinMatch::Unchecked), PinTryResult::Unchecked);
  EXPECT_EQ(tries.Count().wrongUnlockCodes, 0);
}

TEST_F(PinTriesTest, ACounterThatCannotBeKeptChecksNothingAndADamagedOneLocks) {
  PinTries nowhere(temp_ / "no-such-key", {}, clock_);
  EXPECT_EQ(nowhere.CheckPin([&] { return ++checks_, PinMatch::Right; }), PinTryResult::NotCounted);
  EXPECT_EQ(checks_, 0) << "a PIN that could not be counted is not checked";

  PinTries tries = Tries();
  sealrun::testing::WriteFileBytes(tries.File(), "wrong-pins none\n");
  EXPECT_TRUE(tries.Locked()) << "a counter made unreadable does not start the count afresh";
  EXPECT_EQ(Try(tries, PinMatch::Right), PinTryResult::Locked);
  EXPECT_EQ(TryCode(tries, PinMatch::Right), PinTryResult::Accepted);
  EXPECT_EQ(Try(tries, PinMatch::Right), PinTryResult::Accepted);

  fs::create_symlink(temp_ / "elsewhere", tries.File());
  EXPECT_TRUE(tries.Locked()) << "the counter is a file of the key itself, not a link";
}

// Each process counts through its own descriptors and its own clock, as two runs of the program would.
TEST_F(PinTriesTest, TwoProcessesFailingAtOnceLoseNoCount) {
  constexpr int kEach = 20;
  const PinTryPolicy policy{.freeTries = 1000, .lockAfter = 1000};
  std::vector<pid_t> children;
  for (int child = 0; child < 2; ++child) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      FakeClock clock;
      PinTries tries(temp_.Path(), policy, clock);
      int refused = 0;
      for (int i = 0; i < kEach; ++i) {
        // A slow check, as a key derivation is, leaves time for the other process to come in between.
        const auto result = tries.CheckPin([] {
          usleep(2000);
          return PinMatch::Wrong;
        });
        refused += result == PinTryResult::Refused ? 1 : 0;
      }
      _exit(refused == kEach ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(PinTries(temp_.Path(), policy, clock_).Count().wrongPins, 2 * kEach);
}

}  // namespace
}  // namespace sealrun::platform::crypto
