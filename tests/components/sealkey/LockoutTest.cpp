// The key's PIN check under its try counter, through the key object: wrong PINs counted in the key folder
// and cleared by a right one, the lock after ten that refuses even the right PIN, and the unlock code that
// lifts it. The counter is seeded near the lock with its last wrong PIN long past, so no test waits.
#include <gtest/gtest.h>

#include "platform/crypto/PinTries.h"
#include "tests/components/sealkey/SealKeyFixture.h"

namespace sealrun::components::sealkey::testing {
namespace {

using platform::crypto::PinTries;

constexpr char16_t kDemoUnlockCode[] = u"12345678";

class LockoutTest : public SealKeyTest {
 protected:
  int32_t VerifyPin(std::u16string_view pin) {
    return Method(CreateKey(), u"VerifyPin", {Variant(pin)}).AsInt().value_or(-1);
  }
  int32_t Unlock(std::u16string_view code) {
    return Method(CreateKey(), u"WebUnlockKey", {Variant(code)}).AsInt().value_or(-1);
  }
  int WrongPins() const { return PinTries(KeyDir()).Count().wrongPins; }
  void SeedWrongPins(int count) {
    sealrun::testing::WriteFileBytes(KeyDir() / PinTries::kFileName, "wrong-pins " + std::to_string(count) +
                                                                           "\nwrong-unlock-codes 0\nlast-wrong 0\n");
  }
};

TEST_F(LockoutTest, WrongPinsAreCountedAndTheRightOneClearsThem) {
  EXPECT_EQ(VerifyPin(u"000000"), 2);
  EXPECT_EQ(VerifyPin(u"111111"), 2);
  EXPECT_EQ(WrongPins(), 2) << "each key object counts in the key folder, not in itself";
  EXPECT_EQ(VerifyPin(u""), 2);
  EXPECT_EQ(WrongPins(), 2) << "an empty PIN is refused without being counted";
  EXPECT_EQ(VerifyPin(kDemoPin), 0);
  EXPECT_EQ(WrongPins(), 0);
  EXPECT_FALSE(std::filesystem::exists(KeyDir() / PinTries::kFileName));
}

TEST_F(LockoutTest, TheTenthWrongPinLocksTheKeyAgainstEveryPin) {
  SeedWrongPins(9);
  EXPECT_EQ(VerifyPin(u"000000"), 2) << "the tenth wrong PIN is still only wrong";
  EXPECT_EQ(VerifyPin(kDemoPin), 6) << "a locked key refuses the right PIN";
  EXPECT_EQ(WrongPins(), 10) << "and does not count what it did not check";
  EXPECT_TRUE(platform::crypto::KeyStore::Instance().Certificates().empty()) << "nothing is unlocked";

  Variant ignored;
  const HRESULT written =
      InvokeByName(CreateKey().Get(), u"WebWritePin", DISPATCH_METHOD, {Variant(kDemoPin)}, ignored.Out());
  EXPECT_TRUE(FAILED(written)) << "a locked key takes no PIN to remember";
}

TEST_F(LockoutTest, TheUnlockCodeLiftsTheLockAndAWrongOneDoesNot) {
  SeedWrongPins(10);
  EXPECT_EQ(Unlock(u"87654321"), 2);
  EXPECT_EQ(VerifyPin(kDemoPin), 6);
  EXPECT_EQ(Unlock(kDemoPin), 2) << "the PIN is not the unlock code";
  EXPECT_EQ(Unlock(kDemoUnlockCode), 0);
  EXPECT_EQ(WrongPins(), 0);
  EXPECT_EQ(VerifyPin(kDemoPin), 0);
}

TEST_F(LockoutTest, AKeyWithoutAnUnlockCodeIsUnlockedByItsAdministratorOnly) {
  std::string xml = sealrun::testing::ReadFileBytes(KeyDir() / "key.xml");
  const size_t begin = xml.find("  <UnlockCode");
  ASSERT_NE(begin, std::string::npos);
  xml.erase(begin, xml.find("</UnlockCode>\n") + 14 - begin);
  sealrun::testing::WriteFileBytes(KeyDir() / "key.xml", xml);
  SeedWrongPins(10);
  EXPECT_EQ(Unlock(kDemoUnlockCode), 7);
  EXPECT_EQ(VerifyPin(kDemoPin), 6);
  // The administrator's way: the counter removed from the key folder.
  std::filesystem::remove(KeyDir() / PinTries::kFileName);
  EXPECT_EQ(VerifyPin(kDemoPin), 0);
}

TEST_F(LockoutTest, ACounterThatCannotBeReadLocksTheKey) {
  // The counter's name taken by a folder: removing the count must not be a way round it.
  std::filesystem::create_directories(KeyDir() / PinTries::kFileName / "in-the-way");
  EXPECT_EQ(VerifyPin(kDemoPin), 6);
  EXPECT_TRUE(platform::crypto::KeyStore::Instance().Certificates().empty());
}

}  // namespace
}  // namespace sealrun::components::sealkey::testing
