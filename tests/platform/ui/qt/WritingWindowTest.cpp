// The writing window on screen: what the user writes with the mouse reaches the window as a picture the
// component can decode, with the PIN typed beside it; Cancel hands over nothing.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "platform/imaging/ImageCodec.h"
#include "platform/ui/WritingWindow.h"
#include "platform/ui/qt/WritingPad.h"
#include "tests/platform/ui/qt/QtBackendFixture.h"
#include "tests/testsupport/QtInput.h"

namespace sealrun::platform::ui::qt {
namespace {

WritingWindowSetup PadSetup() {
  WritingWindowSetup setup;
  setup.caption = u"手写签名";
  setup.pinLabel = u"PIN码";
  setup.clearLabel = u"清除";
  setup.keyNumber = u"KEY-0001";
  setup.settings = {{u"HandPenWidth", u"2"}, {u"HandPenColor", u"0"}};
  setup.penWidths = {u"2", u"6"};
  setup.penWidthSetting = u"HandPenWidth";
  setup.usualTexts = {u"同意"};
  return setup;
}

using sealrun::testing::DrawStroke;

int InkedPixels(const imaging::Image& picture) {
  int inked = 0;
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x) inked += picture.PixelAt(x, y).alpha > 0 ? 1 : 0;
  return inked;
}

TEST_F(QtBackendTest, WhatIsWrittenAndThePinReachTheWindowOnOk) {
  WritingWindow window(PadSetup());
  WhenShown<QDialog>([](QDialog& shown) {
    auto* pad = Find<WritingPad>(shown, kWritingPadId);
    ASSERT_NE(pad, nullptr);
    EXPECT_DOUBLE_EQ(pad->PenWidth(), 2.0) << "the pen width setting";
    auto* widths = Find<QComboBox>(shown, kWritingPenWidthId);
    widths->setCurrentIndex(1);
    emit widths->activated(1);
    EXPECT_EQ(Find<QLineEdit>(shown, kWritingFirstSettingId)->text(), QStringLiteral("6"));
    EXPECT_DOUBLE_EQ(pad->PenWidth(), 6.0) << "a width picked from the box is the pen's from now on";
    DrawStroke(pad, {20, 20}, {200, 100});
    QTest::keyClicks(Find<QLineEdit>(shown, kWritingPinId), QStringLiteral("123456"));
    QTest::mouseClick(Find<QPushButton>(shown, kIdOk), Qt::LeftButton);
  });
  EXPECT_EQ(window.DoModal(nullptr), kIdOk);
  EXPECT_EQ(window.Pin(), u"123456");
  ASSERT_TRUE(window.HasPicture());
  const auto picture = imaging::DecodeImage(window.Picture());
  ASSERT_TRUE(picture) << "the component decodes what it is handed";
  EXPECT_EQ(picture->SourceFormat(), imaging::ImageFormat::Png);
  // A 6-pixel pen along a line of about 200 pixels inks more than a thin line would, and far from everything.
  const int inked = InkedPixels(*picture);
  EXPECT_GT(inked, 6 * 150);
  EXPECT_LT(inked, picture->Width() * picture->Height() / 4);
  EXPECT_EQ(picture->PixelAt(picture->Width() - 2, 2).alpha, 0) << "the ground stays transparent";
}

TEST_F(QtBackendTest, ClearWipesThePadAndCancelHandsOverNothing) {
  WritingWindow window(PadSetup());
  WhenShown<QDialog>([](QDialog& shown) {
    auto* pad = Find<WritingPad>(shown, kWritingPadId);
    DrawStroke(pad, {10, 10}, {100, 50});
    EXPECT_TRUE(pad->HasStrokes());
    QTest::mouseClick(Find<QPushButton>(shown, kWritingClearId), Qt::LeftButton);
    EXPECT_FALSE(pad->HasStrokes());
    DrawStroke(pad, {10, 10}, {100, 50});
    QTest::keyClicks(Find<QLineEdit>(shown, kWritingPinId), QStringLiteral("1"));
    QTest::mouseClick(Find<QPushButton>(shown, kIdCancel), Qt::LeftButton);
  });
  EXPECT_EQ(window.DoModal(nullptr), kIdCancel);
  EXPECT_FALSE(window.HasPicture());
}

}  // namespace
}  // namespace sealrun::platform::ui::qt
