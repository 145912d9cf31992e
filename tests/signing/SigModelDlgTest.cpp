// The signing dialog's states and refusals, against the demo key.
#if defined(SEALRUN_SEALKEY_MODULE) && defined(SEALRUN_CERTLIB_MODULE)
#include "seal/KeyPin.h"
#include "seal/PinFlow.h"
#include "tests/signing/SigModelDlgFixture.h"

namespace sealrun::signing::testing {
namespace {

TEST_F(SigModelDlgTest, OpensInTemplateModeAndSwitchesBetweenPlacements) {
  CSigModelDlg dialog(Inputs());
  const int ended = Open(dialog, [](CSigModelDlg& d) {
    auto& seals = Get<ui::ComboBox>(d, kSealList);
    EXPECT_EQ(seals.Count(), 3);  // the key's fourth seal is a BMP, which cannot be stamped
    EXPECT_EQ(seals.Text(), kDemoSeal);
    auto& templates = Get<ui::ComboBox>(d, kTemplateList);
    ASSERT_EQ(templates.Count(), 2);
    EXPECT_EQ(templates.Text(), u"预盖位置1");
    EXPECT_TRUE(Get<ui::RadioButton>(d, kTemplateMode).IsChecked());
    EXPECT_FALSE(Get<ui::Edit>(d, kKeywordEdit).IsEnabled());
    EXPECT_FALSE(Get<ui::Static>(d, kPageLabel).IsEnabled());
    EXPECT_FALSE(Get<ui::Edit>(d, kPageEdit).IsEnabled());
    EXPECT_FALSE(Get<ui::CheckBox>(d, kRememberPinBox).IsChecked());
    EXPECT_TRUE(Get<ui::Edit>(d, kPinEdit).Text().empty());
    EXPECT_TRUE(Get<ui::Edit>(d, kPinEdit).IsPassword());
    EXPECT_FALSE(Get<ui::ProgressBar>(d, kProgressBar).IsVisible());
    EXPECT_FALSE(Get<ui::Static>(d, kStatusLine).IsVisible());
    // The preview fits its control and keeps the seal's proportions.
    const auto& preview = Get<ui::Static>(d, kPreview).GetImage();
    ASSERT_NE(preview, nullptr);
    EXPECT_LE(preview->Width(), 120);
    EXPECT_LE(preview->Height(), 120);
    EXPECT_TRUE(preview->Width() == 120 || preview->Height() == 120);

    ASSERT_TRUE(Get<ui::RadioButton>(d, kKeywordMode).Click());
    EXPECT_FALSE(Get<ui::RadioButton>(d, kTemplateMode).IsChecked());
    EXPECT_FALSE(templates.IsEnabled());
    EXPECT_EQ(templates.CurrentSelection(), -1);
    EXPECT_TRUE(Get<ui::Edit>(d, kKeywordEdit).IsEnabled());
    EXPECT_TRUE(Get<ui::Edit>(d, kPageEdit).IsEnabled());

    // Back to the templates: they are offered again, not lost.
    ASSERT_TRUE(Get<ui::RadioButton>(d, kTemplateMode).Click());
    EXPECT_TRUE(templates.IsEnabled());
    EXPECT_EQ(templates.Count(), 2);
    EXPECT_EQ(templates.CurrentSelection(), 0);
    EXPECT_FALSE(Get<ui::Edit>(d, kKeywordEdit).IsEnabled());
    Get<ui::Button>(d, ui::kIdCancel).Click();
  });
  EXPECT_EQ(ended, ui::kIdCancel);
  EXPECT_FALSE(dialog.Outcome().summaryEmptied);
  EXPECT_FALSE(dialog.Outcome().failed.has_value());
}

TEST_F(SigModelDlgTest, KeywordPresetAndLockedTextPosition) {
  SignDialogInputs inputs = Inputs();
  inputs.keyword = u"合同";
  inputs.pageSetting = 2;
  {
    CSigModelDlg dialog(inputs);
    Open(dialog, [](CSigModelDlg& d) {
      EXPECT_TRUE(Get<ui::RadioButton>(d, kKeywordMode).IsChecked());
      EXPECT_FALSE(Get<ui::ComboBox>(d, kTemplateList).IsEnabled());
      EXPECT_TRUE(Get<ui::RadioButton>(d, kTemplateMode).IsEnabled());
      EXPECT_EQ(Get<ui::Edit>(d, kKeywordEdit).Text(), u"合同");
      EXPECT_EQ(Get<ui::Edit>(d, kPageEdit).Text(), u"3");
      EXPECT_TRUE(Get<ui::Edit>(d, kPageEdit).IsEnabled());
    });
  }
  // Without templates the template choice cannot be made; a locked position cannot be edited, whatever
  // the user clicks.
  inputs.templates.clear();
  inputs.pageSetting = -1;
  inputs.textPosLocked = true;
  {
    CSigModelDlg dialog(inputs);
    Open(dialog, [](CSigModelDlg& d) {
      EXPECT_FALSE(Get<ui::RadioButton>(d, kTemplateMode).IsEnabled());
      EXPECT_EQ(Get<ui::Edit>(d, kPageEdit).Text(), u"0");
      EXPECT_FALSE(Get<ui::Edit>(d, kKeywordEdit).IsEnabled());
      EXPECT_FALSE(Get<ui::Edit>(d, kPageEdit).IsEnabled());
      Get<ui::RadioButton>(d, kKeywordMode).Click();
      EXPECT_FALSE(Get<ui::Edit>(d, kKeywordEdit).IsEnabled());
      EXPECT_FALSE(Get<ui::Edit>(d, kPageEdit).IsEnabled());
    });
  }
  // A keyword whose page was never set does not select keyword placement.
  inputs.pageSetting = kPageSettingUnset;
  inputs.templates = {Record(u"预盖位置1")};
  CSigModelDlg dialog(inputs);
  Open(dialog, [](CSigModelDlg& d) { EXPECT_TRUE(Get<ui::RadioButton>(d, kTemplateMode).IsChecked()); });
}

TEST_F(SigModelDlgTest, RemembersAndForgetsThePin) {
  seal::RememberPin(kDemoPin);
  CSigModelDlg dialog(Inputs());
  const int ended = Open(dialog, [](CSigModelDlg& d) {
    EXPECT_TRUE(Get<ui::CheckBox>(d, kRememberPinBox).IsChecked());
    EXPECT_EQ(Get<ui::Edit>(d, kPinEdit).Text(), kDemoPin);
    // Unticked, a run with the right PIN forgets it.
    Get<ui::CheckBox>(d, kRememberPinBox).Click();
    Get<ui::Button>(d, ui::kIdOk).Click();
  });
  EXPECT_EQ(ended, ui::kIdOk);
  EXPECT_TRUE(seal::RecallPin().empty());

  CSigModelDlg again(Inputs());
  Open(again, [](CSigModelDlg& d) {
    EXPECT_FALSE(Get<ui::CheckBox>(d, kRememberPinBox).IsChecked());
    EXPECT_TRUE(Get<ui::Edit>(d, kPinEdit).Text().empty());
  });
}

TEST_F(SigModelDlgTest, NoSealOnTheKeyClosesTheDialogWithZero) {
  fs::remove(temp_ / "key" / "key.xml");
  CSigModelDlg dialog(Inputs());
  bool played = false;
  EXPECT_EQ(Open(dialog, [&played](CSigModelDlg&) { played = true; }), 0);
  EXPECT_FALSE(played);
  EXPECT_EQ(Messages(), std::vector<std::u16string>{kNoSealMessage});
  EXPECT_EQ(user_->MessageBoxes()[0].caption, kSigningNoticeCaption);
  EXPECT_EQ(user_->MessageBoxes()[0].style, ui::kMbIconInformation);
}

TEST_F(SigModelDlgTest, WrongPinAndBadPageNumbersKeepTheDialogOpen) {
  const fs::path file = Copy("pypdf-crazyones.pdf", "one.pdf");
  const std::string original = sealrun::testing::ReadFileBytes(file);
  SignDialogInputs inputs = Inputs({platform::fs::PathToUtf16(file)});
  inputs.keyword = u"crazy";
  inputs.pageSetting = -1;
  CSigModelDlg dialog(inputs);
  Open(dialog, [this](CSigModelDlg& d) {
    Get<ui::Edit>(d, kPinEdit).Type(u"000000");
    EXPECT_EQ(d.RunSigning(), kRunRefused);
    EXPECT_TRUE(d.IsRunning());
    EXPECT_EQ(Messages().back(), seal::kWrongPinMessage);
    EXPECT_FALSE(d.Outcome().failed.has_value());  // the previous run's failures stay until a run starts
    EXPECT_FALSE(Get<ui::ProgressBar>(d, kProgressBar).IsVisible());

    Get<ui::Edit>(d, kPinEdit).Type(kDemoPin);
    const std::vector<std::u16string> badPages = {u"-1", u"abc", u"", u"99999999999"};
    for (size_t i = 0; i < badPages.size(); ++i) {
      Get<ui::Edit>(d, kPageEdit).Type(badPages[i]);
      EXPECT_EQ(d.RunSigning(), kRunBadPageNumber) << "page text " << i;
      EXPECT_EQ(Messages().back(), kWrongPageMessage);
      EXPECT_TRUE(d.IsRunning());
      EXPECT_TRUE(Get<ui::Button>(d, ui::kIdOk).IsEnabled());
    }
    Get<ui::Button>(d, ui::kIdCancel).Click();
  });
  EXPECT_EQ(dialog.Result(), ui::kIdCancel);
  EXPECT_TRUE(dialog.Outcome().summaryEmptied);
  EXPECT_FALSE(dialog.Outcome().tally.has_value());
  EXPECT_EQ(sealrun::testing::ReadFileBytes(file), original);
}

TEST_F(SigModelDlgTest, PageNumberZeroSearchesEveryPage) {
  SignDialogInputs inputs = Inputs();
  inputs.keyword = u"old";
  inputs.pageSetting = 4;
  CSigModelDlg dialog(inputs);
  Open(dialog, [](CSigModelDlg& d) {
    Get<ui::Edit>(d, kKeywordEdit).Type(u"new");
    Get<ui::Edit>(d, kPageEdit).Type(u" 0 ");
    Get<ui::Edit>(d, kPinEdit).Type(kDemoPin);
    EXPECT_EQ(d.RunSigning(), kRunDone);
  });
  EXPECT_EQ(dialog.Result(), ui::kIdOk);
  EXPECT_EQ(dialog.Outcome().keyword, u"new");
  EXPECT_EQ(dialog.Outcome().pageSetting, kPageSettingAllPages);
}

TEST(PageNumberText, SignedDecimalWithinThirtyTwoBits) {
  EXPECT_EQ(ParsePageNumber(u"12"), 12);
  EXPECT_EQ(ParsePageNumber(u"+3"), 3);
  EXPECT_EQ(ParsePageNumber(u"-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ParsePageNumber(u"2147483648"), std::nullopt);
  EXPECT_EQ(ParsePageNumber(u"1 2"), std::nullopt);
  EXPECT_EQ(ParsePageNumber(u"-"), std::nullopt);
  EXPECT_EQ(ParsePageNumber(u"３"), std::nullopt);  // full-width digits are not digits here
}

}  // namespace
}  // namespace sealrun::signing::testing
#endif
