// The date under the seal: text, canvas geometry with a real font, transparency and the preview size.
#include <gtest/gtest.h>

#include "platform/imaging/ImageCodec.h"
#include "signing/DateStamp.h"

namespace sealrun::signing {
namespace {

namespace imaging = platform::imaging;

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A fully transparent picture with an opaque red square in its middle.
std::string TransparentSeal(int width, int height) {
  imaging::Image image = *imaging::Image::Create(width, height, 24);
  image.EnableAlpha();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool inside = x >= width / 4 && x < width * 3 / 4 && y >= height / 4 && y < height * 3 / 4;
      image.SetPixel(x, y, inside ? imaging::Rgba{255, 0, 0, 255} : imaging::Rgba{0, 0, 255, 0});
    }
  return *imaging::EncodePng(image);
}

TEST(DateStamp, DateText) {
  EXPECT_EQ(FormatDateText({2024, 3, 5}), u"2024年03月05日");
  EXPECT_EQ(FormatDateText({987, 12, 31}), u"0987年12月31日");
}

TEST(DateStamp, LayoutCentresTheNarrowerPart) {
  // A 100-pixel seal over an 84-pixel date: the text starts at x = 9.
  const DateStampLayout seal = ComputeDateStampLayout(100, 80, 84, DateAlignment::Centred);
  EXPECT_EQ(seal.canvasWidth, 100);
  EXPECT_EQ(seal.canvasHeight, 92);
  EXPECT_EQ(seal.imageX, 0);
  EXPECT_EQ(seal.textX, 9);
  EXPECT_EQ(seal.textY, 81);
  // A wider date widens the canvas and centres the seal.
  const DateStampLayout narrow = ComputeDateStampLayout(41, 30, 84, DateAlignment::Centred);
  EXPECT_EQ(narrow.canvasWidth, 84);
  EXPECT_EQ(narrow.imageX, 21);
  EXPECT_EQ(narrow.textX, 1);
  // Handwriting: the date at the right.
  EXPECT_EQ(ComputeDateStampLayout(100, 80, 84, DateAlignment::Right).textX, 17);
  EXPECT_EQ(ComputeDateStampLayout(101, 80, 84, DateAlignment::Centred).textX, 9);
}

TEST(DateStamp, TransparentSealBecomesOpaqueOnWhiteWithTheDateUnderIt) {
  const std::string picture = TransparentSeal(100, 60);
  const ComposedStamp stamp = ComposeSealWithDate(Bytes(picture), {2024, 3, 5}, DateAlignment::Centred);
  ASSERT_EQ(stamp.error, DateStampError::None);
  EXPECT_EQ(stamp.width, 100);
  EXPECT_EQ(stamp.height, 72);
  const auto image = imaging::DecodeImage(Bytes(stamp.png));
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->Width(), 100);
  EXPECT_EQ(image->Height(), 72);
  EXPECT_FALSE(image->HasAlpha());
  EXPECT_FALSE(image->TransparentColor().has_value());
  EXPECT_EQ(image->PixelAt(2, 2), (imaging::Rgba{255, 255, 255, 255}));
  EXPECT_EQ(image->PixelAt(50, 30), (imaging::Rgba{255, 0, 0, 255}));
  // Dark date pixels only in the band under the seal, between x = 9 and 9 + 84.
  int dark = 0;
  for (int y = 0; y < 72; ++y)
    for (int x = 0; x < 100; ++x) {
      const imaging::Rgba pixel = image->PixelAt(x, y);
      if (pixel.red > 128 || pixel.green > 128) continue;
      ++dark;
      EXPECT_TRUE(y >= 61 && x >= 9 && x < 93) << x << "," << y;
    }
  EXPECT_GT(dark, 40);
}

TEST(DateStamp, NarrowHandwritingWidensTheCanvasAndKeepsTheDateRight) {
  const std::string picture = TransparentSeal(40, 20);
  auto font = CreateDateFont();
  ASSERT_TRUE(font.has_value());
  const int textWidth = font->Measure(FormatDateText({2024, 3, 5})).width;
  const ComposedStamp stamp = ComposeSealWithDate(Bytes(picture), {2024, 3, 5}, DateAlignment::Right, *font);
  ASSERT_EQ(stamp.error, DateStampError::None);
  EXPECT_EQ(stamp.width, textWidth);
  EXPECT_EQ(stamp.height, 32);
  const auto image = imaging::DecodeImage(Bytes(stamp.png));
  ASSERT_TRUE(image.has_value());
  const int left = (textWidth - 40) / 2;
  EXPECT_EQ(image->PixelAt(left + 20, 10), (imaging::Rgba{255, 0, 0, 255}));
  EXPECT_EQ(image->PixelAt(left - 1, 10), (imaging::Rgba{255, 255, 255, 255}));
}

TEST(DateStamp, PictureThatDoesNotDecodeIsAnError) {
  const std::string junk = "not a picture at all";
  EXPECT_EQ(ComposeSealWithDate(Bytes(junk), {2024, 3, 5}, DateAlignment::Centred).error,
            DateStampError::UndecodablePicture);
  EXPECT_EQ(ComposeSealWithDate({}, {2024, 3, 5}, DateAlignment::Right).error, DateStampError::UndecodablePicture);
}

TEST(DateStamp, ScaleToFitKeepsTheAspectInsideTheClientArea) {
  const imaging::Image wide = *imaging::Image::Create(200, 100, 24);
  auto fitted = ScaleToFit(wide, 100, 100);
  ASSERT_TRUE(fitted.has_value());
  EXPECT_EQ(fitted->Width(), 100);
  EXPECT_EQ(fitted->Height(), 50);
  fitted = ScaleToFit(wide, 300, 90);
  ASSERT_TRUE(fitted.has_value());
  EXPECT_EQ(fitted->Width(), 180);
  EXPECT_EQ(fitted->Height(), 90);
  EXPECT_FALSE(ScaleToFit(wide, 0, 90).has_value());
}

}  // namespace
}  // namespace sealrun::signing
