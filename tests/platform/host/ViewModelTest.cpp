// Page frames and the page view: user space to the host frame on rotated and cropped pages, and view
// pixels to page points and back at several zooms, view rotations and scroll positions.
#include <gtest/gtest.h>

#include "platform/host/PageGeometry.h"
#include "platform/host/ViewModel.h"

namespace sealrun::platform::host {
namespace {

// A CropBox inside a MediaBox with a non-zero origin, as qpdf-boxes.pdf has them.
const Box kCrop{10, 20, 582, 752};
const Box kMedia{0, 0, 612, 792};

TEST(PageGeometry, DisplayedCornersFollowTheRotation) {
  // The user-space corner that appears at the displayed top-left, for each /Rotate.
  struct Case {
    int rotate;
    Point topLeft;
    double width;
  } const cases[] = {{0, {10, 752}, 572}, {90, {10, 20}, 732}, {180, {582, 20}, 572}, {270, {582, 752}, 732}};
  for (const Case& c : cases) {
    const PageGeometry page(kCrop, kMedia, c.rotate);
    SCOPED_TRACE(c.rotate);
    EXPECT_DOUBLE_EQ(page.Width(), c.width);
    EXPECT_DOUBLE_EQ(page.Width() + page.Height(), 572 + 732);
    const Point origin = page.UserToHost(c.topLeft);
    EXPECT_DOUBLE_EQ(origin.x, 0);
    EXPECT_DOUBLE_EQ(origin.y, 0);
    // The opposite corner lands at (width, height), and every point comes back unchanged.
    const Point far = page.UserToHost({kCrop.x0 + kCrop.x1 - c.topLeft.x, kCrop.y0 + kCrop.y1 - c.topLeft.y});
    EXPECT_DOUBLE_EQ(far.x, page.Width());
    EXPECT_DOUBLE_EQ(far.y, page.Height());
    const Point back = page.HostToUser(page.UserToHost({123.5, 456.25}));
    EXPECT_DOUBLE_EQ(back.x, 123.5);
    EXPECT_DOUBLE_EQ(back.y, 456.25);
  }
}

TEST(PageGeometry, EngineFrameIsTheDisplayedMediaBoxFromItsBottomLeft) {
  const PageGeometry upright(kCrop, kMedia, 0);
  // The crop's top-left is 10 points in and 40 points below the media's top.
  const Point corner = upright.HostToEngine({0, 0});
  EXPECT_DOUBLE_EQ(corner.x, 10);
  EXPECT_DOUBLE_EQ(corner.y, 752);
  const PageGeometry turned(kCrop, kMedia, 90);
  // Displayed media is 792 wide and 612 high; user (10, 20) shows 20 in from the left, 10 below the top.
  const Point turnedCorner = turned.HostToEngine({0, 0});
  EXPECT_DOUBLE_EQ(turnedCorner.x, 20);
  EXPECT_DOUBLE_EQ(turnedCorner.y, 612 - 10);
}

TEST(PageGeometry, RotationsAreNormalised) {
  EXPECT_EQ(NormaliseRotation(360), 0);
  EXPECT_EQ(NormaliseRotation(-90), 270);
  EXPECT_EQ(NormaliseRotation(450), 90);
  EXPECT_EQ(NormaliseRotation(45), 0);
  EXPECT_EQ(PageGeometry(kCrop, kMedia, -270).Rotate(), 90);
}

class ViewModelTest : public ::testing::Test {
 protected:
  ViewModelTest() { view.SetPages({{612, 792}, {792, 612}, {300, 400}}); }
  ViewModel view;
};

TEST_F(ViewModelTest, PixelsOfTheFirstPageAtHundredPercent) {
  const auto pixel = view.PageToPixel(0, {72, 144});
  ASSERT_TRUE(pixel);
  EXPECT_DOUBLE_EQ(pixel->x, ViewModel::kMargin + 96);
  EXPECT_DOUBLE_EQ(pixel->y, ViewModel::kMargin + 192);
  const auto point = view.PixelToPage(*pixel);
  ASSERT_TRUE(point);
  EXPECT_EQ(point->pageIndex, 0);
  EXPECT_DOUBLE_EQ(point->point.x, 72);
  EXPECT_DOUBLE_EQ(point->point.y, 144);
}

TEST_F(ViewModelTest, RoundTripAtEveryZoomRotationAndScroll) {
  for (const double zoom : {0.25, 0.5, 1.0, 1.5, 4.0}) {
    for (const int rotation : {0, 90, 180, 270}) {
      for (const Point scroll : {Point{0, 0}, Point{40, 300}}) {
        view.SetZoom(zoom);
        view.SetRotation(rotation);
        view.SetScroll(scroll);
        for (int page = 0; page < 3; ++page) {
          SCOPED_TRACE(::testing::Message() << "zoom " << zoom << " rotation " << rotation << " page " << page);
          const Point inside{17.5, 33.25};
          const auto pixel = view.PageToPixel(page, inside);
          ASSERT_TRUE(pixel);
          const auto point = view.PixelToPage(*pixel);
          ASSERT_TRUE(point);
          EXPECT_EQ(point->pageIndex, page);
          EXPECT_NEAR(point->point.x, inside.x, 1e-9);
          EXPECT_NEAR(point->point.y, inside.y, 1e-9);
        }
      }
    }
  }
}

TEST_F(ViewModelTest, ViewRotationTurnsThePageClockwise) {
  view.SetRotation(90);
  // The page's top-left corner is shown at the top-right of the turned page (792 points wide on screen).
  const auto corner = view.PageToPixel(0, {0, 0});
  ASSERT_TRUE(corner);
  EXPECT_DOUBLE_EQ(corner->x, ViewModel::kMargin + 792 * ViewModel::kPixelsPerPoint);
  EXPECT_DOUBLE_EQ(corner->y, ViewModel::kMargin);
  // Further down the page goes further left on screen.
  const auto lower = view.PageToPixel(0, {0, 100});
  ASSERT_TRUE(lower);
  EXPECT_LT(lower->x, corner->x);
  EXPECT_DOUBLE_EQ(lower->y, corner->y);
  view.SetRotation(270);
  const auto turnedBack = view.PageToPixel(0, {0, 0});
  ASSERT_TRUE(turnedBack);
  EXPECT_DOUBLE_EQ(turnedBack->x, ViewModel::kMargin);
  EXPECT_DOUBLE_EQ(turnedBack->y, ViewModel::kMargin + 612 * ViewModel::kPixelsPerPoint);
}

TEST_F(ViewModelTest, GapsMarginsAndMissingPagesHitNothing) {
  EXPECT_FALSE(view.PixelToPage({2, 2}));
  const double firstBottom = ViewModel::kMargin + 792 * ViewModel::kPixelsPerPoint;
  EXPECT_FALSE(view.PixelToPage({50, firstBottom + ViewModel::kGap / 2}));
  const auto second = view.PixelToPage({50, firstBottom + ViewModel::kGap + 1});
  ASSERT_TRUE(second);
  EXPECT_EQ(second->pageIndex, 1);
  // Right of the narrow third page but within the width of the others.
  const auto third = view.PageToPixel(2, {0, 10});
  ASSERT_TRUE(third);
  EXPECT_FALSE(view.PixelToPage({third->x + 350 * ViewModel::kPixelsPerPoint, third->y}));
  EXPECT_FALSE(view.PageToPixel(3, {0, 0}));
  EXPECT_FALSE(view.PageToPixel(-1, {0, 0}));
  EXPECT_FALSE(view.SetZoom(0));
  EXPECT_DOUBLE_EQ(view.Zoom(), 1.0);
}

}  // namespace
}  // namespace sealrun::platform::host
