// The key's lock as the front end shows it: wrong PINs given to remove are counted in the key folder, a
// locked key is reported as locked (not as a wrong PIN) and touches no file, and unlock-key lifts the lock
// with the key's unlock code read like a PIN, refusing a wrong code and a key that has none.
#include <filesystem>
#include <string>
#include <vector>

#include "tests/apps/FrontEndFixture.h"

namespace sealrun::apps {
namespace {

namespace fs = std::filesystem;
using sealrun::testing::ReadFileBytes;
using sealrun::testing::WriteFileBytes;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class KeyLock : public FrontEnd {
 protected:
  void SetUp() override {
    fs::copy(SEALRUN_DEMO_KEY, Key(), fs::copy_options::recursive);
    fs::remove(Key() / "pin-tries");
    file_ = temp_ / "unsealed.pdf";
    fs::copy_file(sealrun::testing::CorpusFile("pypdf-crazyones.pdf"), file_);
    fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write);
  }
  fs::path Key() const { return temp_ / "key"; }
  fs::path Counter() const { return Key() / "pin-tries"; }
  // Wrong PINs in a row, the last one long ago, so no check waits.
  void SeedWrongPins(int count) {
    WriteFileBytes(Counter(), "wrong-pins " + std::to_string(count) + "\nwrong-unlock-codes 0\nlast-wrong 0\n");
  }
  ProgramRun Remove(const std::string& pin) {
    return sealrun::testing::RunProgramWithInput(SEALRUN_PROGRAM, {"remove", "--pin", "-", file_.string()},
                                                 pin + "\n");
  }
  ProgramRun UnlockKey(const std::string& code) {
    return sealrun::testing::RunProgramWithInput(SEALRUN_PROGRAM, {"unlock-key", "--code", "-"}, code + "\n");
  }

  fs::path file_;
};

TEST_F(KeyLock, WrongPinsAreCountedAndTheRightOneClearsThem) {
  const ProgramRun wrong = Remove("000000");
  EXPECT_EQ(wrong.exitCode, 2) << wrong.output;
  EXPECT_TRUE(Contains(wrong.output, "密码错误")) << wrong.output;
  EXPECT_TRUE(Contains(ReadFileBytes(Counter()), "wrong-pins 1\n"));
  EXPECT_EQ(Remove("123456").exitCode, 1) << "accepted: the file has no seal to remove";
  EXPECT_FALSE(fs::exists(Counter()));
}

TEST_F(KeyLock, ALockedKeyIsReportedAsLockedAndUnlockKeyLiftsTheLock) {
  SeedWrongPins(10);
  const std::string before = ReadFileBytes(file_);
  const ProgramRun locked = Remove("123456");
  EXPECT_EQ(locked.exitCode, 2) << locked.output;
  EXPECT_TRUE(Contains(locked.output, "已锁定")) << locked.output;
  EXPECT_FALSE(Contains(locked.output, "密码错误，请重新输入")) << "retyping the PIN would not help";
  EXPECT_EQ(ReadFileBytes(file_), before);

  const ProgramRun wrongCode = UnlockKey("87654321");
  EXPECT_EQ(wrongCode.exitCode, 2) << wrongCode.output;
  EXPECT_TRUE(Contains(wrongCode.output, "unlock code is wrong")) << wrongCode.output;
  EXPECT_TRUE(Contains(ReadFileBytes(Counter()), "wrong-unlock-codes 1\n"));

  const ProgramRun unlocked = UnlockKey("12345678");
  EXPECT_EQ(unlocked.exitCode, 0) << unlocked.output;
  EXPECT_TRUE(Contains(unlocked.output, "unlocked")) << unlocked.output;
  EXPECT_EQ(Remove("123456").exitCode, 1) << "the key checks PINs again";
}

TEST_F(KeyLock, UnlockKeyRefusesWhatItCannotDo) {
  const ProgramRun empty = UnlockKey("");
  EXPECT_EQ(empty.exitCode, 2);
  EXPECT_TRUE(Contains(empty.output, "unlock code read from standard input is empty")) << empty.output;

  std::string xml = ReadFileBytes(Key() / "key.xml");
  const size_t begin = xml.find("  <UnlockCode");
  ASSERT_NE(begin, std::string::npos);
  xml.erase(begin, xml.find("</UnlockCode>\n") + 14 - begin);
  WriteFileBytes(Key() / "key.xml", xml);
  SeedWrongPins(10);
  const ProgramRun none = UnlockKey("12345678");
  EXPECT_EQ(none.exitCode, 2) << none.output;
  EXPECT_TRUE(Contains(none.output, "has no unlock code")) << none.output;
  EXPECT_TRUE(Contains(none.output, "removing the file pin-tries")) << "says how it can be unlocked";

  fs::remove_all(Key());
  const ProgramRun noKey = UnlockKey("12345678");
  EXPECT_EQ(noKey.exitCode, 2);
  EXPECT_TRUE(Contains(noKey.output, "no seal key is inserted")) << noKey.output;
}

}  // namespace
}  // namespace sealrun::apps
