// The date font: "宋体" resolved to an installed Song face, measured and drawn like a 12-pixel GDI font.
#include <gtest/gtest.h>

#include "platform/imaging/Composite.h"
#include "platform/imaging/TextRenderer.h"

namespace sealrun::platform::imaging {
namespace {

TEST(TextRenderer, SongFaceAtTwelvePixelCellsMeasuresTheDate) {
  auto font = TextRenderer::Create(u"宋体", 12);
  ASSERT_TRUE(font.has_value());
  EXPECT_NE(font->FamilyName().find("UMing"), std::string::npos) << font->FamilyName() << " " << font->FontFile();
  // Half-width digits and full-width ideographs of a 12-pixel cell: 8 x 6 + 3 x 12.
  const TextExtent date = font->Measure(u"2024年03月05日");
  EXPECT_EQ(date.height, 12);
  EXPECT_EQ(date.width, 84);
  EXPECT_EQ(font->Measure(u"").width, 0);
  EXPECT_EQ(font->Measure(u"年").width, 12);
  EXPECT_GT(font->Ascent(), 6);
  EXPECT_LT(font->Ascent(), 12);

  auto large = TextRenderer::Create(u"宋体", 24);
  ASSERT_TRUE(large.has_value());
  EXPECT_EQ(large->Measure(u"年").width, 24);
  EXPECT_FALSE(TextRenderer::Create(u"宋体", 0).has_value());
}

TEST(TextRenderer, DrawsBlackInsideTheCellOnly) {
  auto font = TextRenderer::Create(u"宋体", 12);
  ASSERT_TRUE(font.has_value());
  auto canvas = MakeCanvas(120, 40, {255, 255, 255});
  ASSERT_TRUE(canvas.has_value());
  const std::u16string text = u"2024年03月05日";
  const int cx = font->Measure(text).width;
  font->Draw(*canvas, 10, 20, text);
  int dark = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 120; ++x) {
      const Rgba pixel = canvas->PixelAt(x, y);
      EXPECT_TRUE(pixel.red == pixel.green && pixel.green == pixel.blue) << "black text only";
      if (pixel.red == 255) continue;
      EXPECT_TRUE(x >= 10 && x < 10 + cx && y >= 20 && y < 32) << x << "," << y;
      if (pixel.red < 128) ++dark;
    }
  }
  EXPECT_GT(dark, 40);
  // Clipped at the canvas edges rather than written outside it.
  font->Draw(*canvas, 110, 35, text);
  font->Draw(*canvas, -50, -6, text);
}

}  // namespace
}  // namespace sealrun::platform::imaging
