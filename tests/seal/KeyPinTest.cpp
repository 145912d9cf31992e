// The PIN operations and the PIN check before a run, against the stand-in key object.
#include "platform/ui/Messages.h"
#include "seal/KeyPin.h"
#include "seal/PinFlow.h"
#include "tests/seal/FakeComponentFixture.h"

namespace sealrun::seal::testing {
namespace {

using ::testing::ElementsAre;

using KeyPinTest = FakeComponentTest;

TEST_F(KeyPinTest, RightPinRemembersOrForgetsAsTheBoxSays) {
  Configure("pin=4711\n");
  EXPECT_EQ(RecallPin(), u"");

  ASSERT_TRUE(AcceptPinForRun(u"4711", true));
  EXPECT_EQ(RecallPin(), u"4711") << "the next dialog opens with the PIN filled in";
  EXPECT_TRUE(MessageBoxes().empty());

  ASSERT_TRUE(AcceptPinForRun(u"4711", false));
  EXPECT_EQ(RecallPin(), u"") << "an unticked box removes the remembered PIN before the run";
}

TEST_F(KeyPinTest, WrongPinIsToldOnceAndLeavesTheRememberedPin) {
  Configure("pin=4711\n");
  ASSERT_TRUE(AcceptPinForRun(u"4711", true));
  ClearCalls();

  EXPECT_FALSE(AcceptPinForRun(u"0000", false));
  ASSERT_EQ(MessageBoxes().size(), 1u);
  EXPECT_EQ(MessageBoxes()[0].text, u"密码错误，请重新输入!");
  EXPECT_EQ(MessageBoxes()[0].caption, u"提示");
  EXPECT_EQ(MessageBoxes()[0].style, platform::ui::kMbIconInformation);
  EXPECT_THAT(Calls(), ElementsAre("KeyObject.VerifyPin method BSTR:0000"));
  EXPECT_EQ(RecallPin(), u"4711");
}

// A key locked by too many wrong PINs is told apart from a wrong PIN, so the user knows retyping is useless.
TEST_F(KeyPinTest, LockedKeyIsToldAsLockedAndStartsNoRun) {
  Configure("pin=4711\nverifypin=6\n");
  EXPECT_FALSE(AcceptPinForRun(u"4711", true));
  ASSERT_EQ(MessageBoxes().size(), 1u);
  EXPECT_EQ(MessageBoxes()[0].text, kKeyLockedMessage);
  EXPECT_NE(std::u16string_view(kKeyLockedMessage).find(u"解锁"), std::u16string_view::npos)
      << "the message says the key must be unlocked";
  EXPECT_FALSE(Called("KeyObject.WebWritePin")) << "nothing is remembered for a locked key";
}

TEST_F(KeyPinTest, RememberWritesThenTagsAndRecallReadsOnlyWithATag) {
  Configure("pin=4711\n");
  RememberPin(u"4711");
  EXPECT_THAT(Calls(), ElementsAre("KeyObject.WebWritePin method BSTR:4711", "KeyObject.WebAddGlobalPinTag method"));

  ClearCalls();
  ForgetPin();
  EXPECT_EQ(RecallPin(), u"");
  EXPECT_THAT(Calls(), ElementsAre("KeyObject.WebDelGlobalPinTag method", "KeyObject.WebExistsGlobalPinTag method"))
      << "no tag: WebReadPin is not called";

  ClearCalls();
  Configure("pin=4711\nfail=WebWritePin\n");
  RememberPin(u"4711");
  EXPECT_FALSE(Called("KeyObject.WebAddGlobalPinTag")) << "a failing write is not tagged";
  EXPECT_EQ(RecallPin(), u"");
}

// The key must have checked the PIN: an answer the key never gave is a refusal.
TEST_F(KeyPinTest, PinNobodyCheckedIsRefused) {
  Configure("unknown=VerifyPin\n");
  EXPECT_NE(VerifyKeyPin(u"123456"), 0) << "VerifyPin unknown to the key";
  EXPECT_FALSE(AcceptPinForRun(u"123456", true));
  EXPECT_EQ(MessageBoxes().size(), 1u);
  EXPECT_FALSE(Called("KeyObject.WebWritePin"));

  Configure("fail=VerifyPin\n");
  EXPECT_NE(VerifyKeyPin(u"123456"), 0) << "VerifyPin failing";

  Configure("verifypin=65536\n");
  EXPECT_NE(VerifyKeyPin(u"123456"), 0) << "a refusal whose low 16 bits are 0";

  Configure("verifypin=65539\n");
  EXPECT_EQ(VerifyKeyPin(u"123456"), 3) << "other answers keep their low 16 bits";
}

TEST_F(KeyPinTest, KeyObjectThatCannotBeCreatedAcceptsNothing) {
  Configure("pin=4711\nnocreate=KeyObject\n");
  EXPECT_EQ(VerifyKeyPin(u"4711"), kPinNotChecked);
  EXPECT_EQ(RememberPin(u"4711"), kPinNotChecked);
  EXPECT_EQ(ForgetPin(), kPinNotChecked);
  EXPECT_EQ(RecallPin(), u"");
  EXPECT_FALSE(AcceptPinForRun(u"4711", true));
  EXPECT_TRUE(Calls().empty());
}

}  // namespace
}  // namespace sealrun::seal::testing
