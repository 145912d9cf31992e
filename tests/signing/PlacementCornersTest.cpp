#include <gtest/gtest.h>

#include "signing/PlacementCorners.h"
#include "signing/PlacementFrame.h"

namespace sealrun::signing {
namespace {

SealTemplate RecordWithOffsets(std::array<CornerOffset, 4> offsets, double width = 60, double height = 30) {
  SealTemplate record;
  record.right = width;
  record.bottom = height;
  record.cornerOffsets = offsets;
  return record;
}

TEST(PlacementCorners, OffsetsAreMeasuredOnThePageAsDisplayedForEveryRotation) {
  for (const int rotation : {0, 90, 180, 270}) {
    SealTemplate record{505, 772, 565, 802, 0, rotation, u"", 0, 595, 842, {}};
    ComputeCornerOffsets(record);
    const std::array<CornerOffset, 4> expected{{{505, 772}, {30, 772}, {505, 40}, {30, 40}}};
    EXPECT_EQ(record.cornerOffsets, expected) << "rotation " << rotation;
  }
}

TEST(PlacementCorners, AnchorIsTheSmallestSumWithTiesBottomLeftTopLeftBottomRightTopRight) {
  struct Case {
    std::array<CornerOffset, 4> offsets;  // top-left, top-right, bottom-left, bottom-right
    Corner expected;
  } cases[] = {
      {{{{10, 10}, {10, 10}, {10, 10}, {10, 10}}}, Corner::BottomLeft},
      {{{{5, 15}, {30, 1}, {12, 8}, {50, 50}}}, Corner::BottomLeft},  // equal to top-left, bottom-left wins
      {{{{5, 5}, {5, 5}, {20, 20}, {5, 6}}}, Corner::TopLeft},
      {{{{9, 9}, {3, 4}, {9, 9}, {4, 3}}}, Corner::BottomRight},
      {{{{9, 9}, {3, 3}, {9, 9}, {4, 3}}}, Corner::TopRight},
  };
  for (const Case& c : cases) {
    const AnchorCorner anchor = PickAnchorCorner(RecordWithOffsets(c.offsets));
    EXPECT_EQ(anchor.corner, c.expected);
    const CornerOffset& chosen = c.offsets[static_cast<size_t>(c.expected)];
    EXPECT_EQ(anchor.dx, chosen.horizontal);
    EXPECT_EQ(anchor.dy, chosen.vertical);
  }
}

TEST(PlacementCorners, AnnotationRotationAddsTheImageTurnToThePageRotation) {
  EXPECT_EQ(AnnotationRotation(270, 180), 90);
  EXPECT_EQ(AnnotationRotation(180, 180), 360);  // kept as 360, which means upright
  EXPECT_EQ(AnnotationRotation(90, 270), 360);
  EXPECT_EQ(AnnotationRotation(270, 270), 180);
  EXPECT_EQ(AnnotationRotation(0, 90), 90);
}

// On a page whose MediaBox starts at 0,0 with no CropBox the rectangle follows the corner table in the
// displayed frame: on a page turned by 90 or 270 the box's height is the displayed width.
TEST(PlacementCorners, RectangleFollowsTheCornerTablePerRotation) {
  const double bx1 = 612, by1 = 792, dx = 30, dy = 40, w = 60, h = 30;
  for (const int rotation : {0, 90, 180, 270}) {
    const bool turned = rotation % 180 != 0;
    const double width = turned ? by1 : bx1, height = turned ? bx1 : by1;
    const double expected[4][2] = {{dx, height - dy - h}, {width - dx - w, height - dy - h}, {dx, dy}, {width - dx - w, dy}};
    for (int corner = 0; corner < 4; ++corner) {
      std::array<CornerOffset, 4> offsets{{{500, 500}, {500, 500}, {500, 500}, {500, 500}}};
      offsets[corner] = {dx, dy};
      const TargetPage page{{0, 0, bx1, by1}, {0, 0, bx1, by1}, rotation};
      const SealRect rect = ComputeSealRect(page, RecordWithOffsets(offsets, w, h));
      EXPECT_DOUBLE_EQ(rect.llx, expected[corner][0]) << rotation << " corner " << corner;
      EXPECT_DOUBLE_EQ(rect.lly, expected[corner][1]) << rotation << " corner " << corner;
      EXPECT_DOUBLE_EQ(rect.urx - rect.llx, w);
      EXPECT_DOUBLE_EQ(rect.ury - rect.lly, h);
      EXPECT_EQ(rect.rotation, rotation);
    }
  }
}

}  // namespace
}  // namespace sealrun::signing
