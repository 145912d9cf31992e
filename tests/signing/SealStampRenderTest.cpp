// The stamped seal as a viewer shows it: rendered with poppler, its pixels stand where placement put them
// (kRightGap and kBottomGap from the displayed bottom-right corner), upright, and nowhere else.
#include <gtest/gtest.h>

#include "tests/signing/SealStampTestSupport.h"

namespace sealrun::signing::testing {
namespace {

constexpr PixelBox kWholePage{0, 0, 1 << 30, 1 << 30};
using Stamp = StampResult (*)(const StampInputs&, std::u16string_view, std::u16string_view, StampRecord*);

class SealStampRenderTest : public StampFixture {
 protected:
  void ExpectSealAtBottomRight(const std::filesystem::path& path, Stamp stamp) {
    const auto before = RenderPage(path, 0);
    ASSERT_TRUE(before) << "pdftoppm could not render " << path;
    ASSERT_EQ(stamp(inputs_, Wide(path), u"123456", nullptr).Code(), 0);
    const auto after = RenderPage(path, 0);
    ASSERT_TRUE(after);
    ASSERT_EQ(after->width, before->width);

    // Every seal-coloured pixel the stamping added lies in the expected rectangle and fills it.
    const PixelBox seal = FindPixels(*after, Pixels::Stamp, kWholePage, &*before);
    const double right = after->width - kRightGap;
    const double bottom = after->height - kBottomGap;
    EXPECT_NEAR(seal.x0, right - kSealWidth, 2);
    EXPECT_NEAR(seal.x1, right, 2);
    EXPECT_NEAR(seal.y0, bottom - kSealHeight, 2);
    EXPECT_NEAR(seal.y1, bottom, 2);
    // The blue block of the picture's top-left corner is on screen at the seal's top-left: upright.
    const PixelBox marker = FindPixels(*after, Pixels::Marker, kWholePage, &*before);
    EXPECT_NEAR(marker.x0, seal.x0, 2);
    EXPECT_NEAR(marker.y0, seal.y0, 2);
    EXPECT_NEAR(marker.Width(), kSealWidth / 4, 2);
    EXPECT_NEAR(marker.Height(), kSealHeight / 3, 2);
  }
};

TEST_F(SealStampRenderTest, SealStandsUprightAtTheTemplatesCornerDistanceOnTurnedAndOffsetPages) {
  ASSERT_EQ(RunTool("pdftoppm -v").exitCode, 0) << "pdftoppm not installed (scripts/setup installs it)";
  struct Case {
    const char* name;
    TestPage page;
  };
  const std::vector<Case> made = {
      {"upright", BlankPage({0, 0, 300, 400}, std::nullopt, 0)},
      {"turned 90", BlankPage({0, 0, 300, 400}, std::nullopt, 90)},
      {"turned 270, box off the origin", BlankPage({50, 100, 450, 400}, std::nullopt, 270)},
      {"turned 180, cropped", BlankPage({0, 0, 400, 500}, PageBox{20, 30, 380, 470}, 180)},
  };
  for (const Stamp stamp : {Stamp{&StampSealAnnotation}, Stamp{&StampSignatureField}}) {
    const std::string mode = stamp == &StampSealAnnotation ? "seal annotation" : "signature field";
    for (const Case& c : made) {
      SCOPED_TRACE(std::string(c.name) + ", " + mode);
      const auto path = temp_ / (std::string(c.name) + ".pdf");
      WriteTestPdf(path, {c.page});
      ExpectSealAtBottomRight(path, stamp);
    }
    // /Rotate 90 on the page over /Rotate 270 on its parent.
    SCOPED_TRACE("qpdf-inherited-rotate.pdf, " + mode);
    if (const auto corpus = CorpusCopy("qpdf-inherited-rotate.pdf")) ExpectSealAtBottomRight(*corpus, stamp);
  }
}

}  // namespace
}  // namespace sealrun::signing::testing
