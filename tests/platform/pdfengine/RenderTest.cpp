// Pages drawn by the engine for a reader's window: the size follows zoom and turn, stamps show upright in
// their rectangles on every page rotation, and the picture agrees with poppler's (pdftoppm) block by block.
#include <cstdlib>
#include <map>
#include <vector>

#include "tests/platform/pdfengine/EngineFixture.h"

namespace sealrun::platform::pdfengine::testing {
namespace {

class RenderTest : public EngineTest {};


// The engine's drawing of one page.
Rendering Draw(qp_page page, double zoom, int turn) {
  Rendering out;
  EXPECT_EQ(qp_page_render(page, zoom, turn, nullptr, 0, &out.width, &out.height), QP_OK);
  out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
  EXPECT_EQ(qp_page_render(page, zoom, turn, out.rgb.data(), out.rgb.size(), &out.width, &out.height), QP_OK);
  return out;
}

// Mean brightness of 16 x 16 blocks, for comparing two renderers whose edges differ by a pixel.
std::vector<int> Blocks(const Rendering& picture) {
  std::vector<int> blocks;
  for (int by = 0; by + 16 <= picture.height; by += 16) {
    for (int bx = 0; bx + 16 <= picture.width; bx += 16) {
      int sum = 0;
      for (int y = by; y < by + 16; ++y)
        for (int x = bx; x < bx + 16; ++x) {
          const unsigned char* p = picture.At(x, y);
          sum += p[0] + p[1] + p[2];
        }
      blocks.push_back(sum / (16 * 16 * 3));
    }
  }
  return blocks;
}

TEST_F(RenderTest, TheSizeFollowsZoomAndTurnAndASmallBufferIsRefused) {
  DocumentHandle document = Open(CopyCorpus("pypdf-crazyones.pdf"));
  ASSERT_TRUE(document);
  PageHandle page = LoadPage(document.get(), 0);
  ASSERT_TRUE(page);
  double box[4];
  ASSERT_EQ(qp_page_box(page.get(), QP_BOX_CROP, box), QP_OK);
  int width = 0;
  int height = 0;
  ASSERT_EQ(qp_page_render(page.get(), 1.0, 0, nullptr, 0, &width, &height), QP_OK);
  EXPECT_NEAR(width, box[2] - box[0], 1);
  EXPECT_NEAR(height, box[3] - box[1], 1);
  int turnedWidth = 0;
  int turnedHeight = 0;
  ASSERT_EQ(qp_page_render(page.get(), 2.0, 90, nullptr, 0, &turnedWidth, &turnedHeight), QP_OK);
  EXPECT_NEAR(turnedWidth, 2 * height, 2);
  EXPECT_NEAR(turnedHeight, 2 * width, 2);
  std::vector<unsigned char> small(static_cast<std::size_t>(width) * height * 3 - 1);
  EXPECT_EQ(qp_page_render(page.get(), 1.0, 0, small.data(), small.size(), &width, &height), QP_ERR_BUFFER);
  EXPECT_EQ(qp_page_render(page.get(), 0.0, 0, nullptr, 0, &width, &height), QP_ERR_ARGUMENT);
  EXPECT_EQ(qp_page_render(page.get(), 1.0, 45, nullptr, 0, &width, &height), QP_ERR_ARGUMENT);
  // A huge zoom is lowered to the largest side the engine draws.
  ASSERT_EQ(qp_page_render(page.get(), 1000.0, 0, nullptr, 0, &width, &height), QP_OK);
  EXPECT_LE(std::max(width, height), 16384);
}

TEST_F(RenderTest, TextPagesAgreeWithPopplerBlockByBlock) {
  for (const char* name : {"pypdf-crazyones.pdf", "pdfjs-tracemonkey.pdf"}) {
    SCOPED_TRACE(name);
    const auto path = CopyCorpus(name);
    DocumentHandle document = Open(path);
    ASSERT_TRUE(document);
    PageHandle page = LoadPage(document.get(), 0);
    ASSERT_TRUE(page);
    const Rendering ours = Draw(page.get(), 1.0, 0);
    const Rendering theirs = RenderPage(path, 0);
    ASSERT_NEAR(ours.width, theirs.width, 1);
    ASSERT_NEAR(ours.height, theirs.height, 1);
    const std::vector<int> a = Blocks(ours);
    const std::vector<int> b = Blocks(theirs);
    ASSERT_EQ(a.size(), b.size());
    int inked = 0;
    int far = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (b[i] < 240) ++inked;
      if (std::abs(a[i] - b[i]) > 24) ++far;
    }
    EXPECT_GT(inked, 20) << "the page has text to compare";
    EXPECT_LE(far, static_cast<int>(a.size()) / 50) << "blocks that differ from poppler's";
  }
}

TEST_F(RenderTest, AStampShowsUprightInItsRectangleOnEveryPageRotation) {
  const auto source = CopyCorpus("qpdf-rotated.pdf");
  std::map<int, int> pages;
  {
    DocumentHandle document = Open(source);
    ASSERT_TRUE(document);
    pages = PagesByRotation(document.get());
  }
  ASSERT_EQ(pages.size(), 4u);
  for (const auto& [rotation, pageIndex] : pages) {
    SCOPED_TRACE(rotation);
    const auto path = temp_ / ("rotated-" + std::to_string(rotation) + ".pdf");
    std::filesystem::copy_file(source, path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    // 120 x 80 points, 40 from the displayed left edge and 60 from the displayed bottom edge.
    Stamp(path, pageIndex, 40, 60, 160, 140, rotation);
    DocumentHandle document = Open(path);
    ASSERT_TRUE(document);
    PageHandle page = LoadPage(document.get(), pageIndex);
    ASSERT_TRUE(page);
    const Rendering shown = Draw(page.get(), 1.0, 0);
    ASSERT_GT(shown.height, 200);
    const int top = shown.height - 140;
    const int bottom = shown.height - 60;
    EXPECT_TRUE(IsRed(shown.At(100, top + 10))) << "upper part";
    EXPECT_TRUE(IsBlue(shown.At(100, bottom - 10))) << "lower part";
    EXPECT_FALSE(IsRed(shown.At(100, top - 6)) || IsBlue(shown.At(100, top - 6))) << "above the rectangle";
    // Turned a quarter clockwise in the view, the stamp's upper half faces right.
    const Rendering turned = Draw(page.get(), 1.0, 90);
    ASSERT_EQ(turned.width, shown.height);
    EXPECT_TRUE(IsRed(turned.At(turned.width - (top + 10) - 1, 100))) << "upper part, turned";
    EXPECT_TRUE(IsBlue(turned.At(turned.width - (bottom - 10) - 1, 100))) << "lower part, turned";
  }
}

}  // namespace
}  // namespace sealrun::platform::pdfengine::testing
