// Bicubic resampling and compositing onto a canvas, on patterns whose right result is known.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/imaging/Composite.h"
#include "platform/imaging/Resample.h"

namespace sealrun::platform::imaging {
namespace {

Image Filled(int width, int height, Rgba color, bool alpha = false) {
  Image image = *Image::Create(width, height, 24);
  if (alpha) image.EnableAlpha();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.SetPixel(x, y, color);
  return image;
}

TEST(BicubicWeight, CatmullRomKernel) {
  EXPECT_DOUBLE_EQ(BicubicWeight(0), 1.0);
  EXPECT_DOUBLE_EQ(BicubicWeight(1), 0.0);
  EXPECT_DOUBLE_EQ(BicubicWeight(2), 0.0);
  EXPECT_DOUBLE_EQ(BicubicWeight(0.5), 0.5625);
  EXPECT_DOUBLE_EQ(BicubicWeight(-1.5), -0.0625);
  // The four taps of any position sum to one, so flat areas stay flat.
  for (double f : {0.0, 0.1, 0.25, 0.5, 0.9}) {
    EXPECT_NEAR(BicubicWeight(1 + f) + BicubicWeight(f) + BicubicWeight(1 - f) + BicubicWeight(2 - f), 1.0, 1e-12) << f;
  }
}

TEST(ResampleBicubic, UniformStaysUniformAndSameSizeIsExact) {
  const Image flat = Filled(7, 5, {200, 30, 90});
  for (auto [w, h] : {std::pair{3, 2}, std::pair{20, 13}, std::pair{1, 1}}) {
    const auto scaled = ResampleBicubic(flat, w, h);
    ASSERT_TRUE(scaled.has_value());
    ASSERT_EQ(scaled->Width(), w);
    ASSERT_EQ(scaled->Height(), h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) EXPECT_EQ(scaled->PixelAt(x, y), (Rgba{200, 30, 90, 255})) << x << "," << y;
  }
  Image pattern = *Image::Create(4, 3, 24);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) pattern.SetPixel(x, y, {uint8_t(x * 60), uint8_t(y * 100), uint8_t((x * y) * 20)});
  const auto same = ResampleBicubic(pattern, 4, 3);
  ASSERT_TRUE(same.has_value());
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(same->PixelAt(x, y), pattern.PixelAt(x, y));
}

TEST(ResampleBicubic, RampStaysLinearAndStepIsClampedAtTheEdges) {
  // Cubic convolution reproduces a linear ramp away from the edges.
  Image ramp = *Image::Create(64, 1, 24);
  for (int x = 0; x < 64; ++x) ramp.SetPixel(x, 0, {uint8_t(x * 4), uint8_t(x * 4), uint8_t(x * 4)});
  const auto half = ResampleBicubic(ramp, 32, 1);
  ASSERT_TRUE(half.has_value());
  for (int x = 2; x < 30; ++x) EXPECT_NEAR(half->PixelAt(x, 0).red, (2 * x + 0.5) * 4, 1.0) << x;

  // A black-white step doubled: overshoot is clamped, the edges repeat their pixels, and it only rises.
  Image step = *Image::Create(8, 2, 24);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 8; ++x) step.SetPixel(x, y, x < 4 ? Rgba{0, 0, 0} : Rgba{255, 255, 255});
  const auto doubled = ResampleBicubic(step, 16, 4);
  ASSERT_TRUE(doubled.has_value());
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(doubled->PixelAt(0, y).green, 0);
    EXPECT_EQ(doubled->PixelAt(15, y).green, 255);
    for (int x = 1; x < 16; ++x) EXPECT_GE(doubled->PixelAt(x, y).green, doubled->PixelAt(x - 1, y).green);
  }
}

TEST(ResampleBicubic, KeepsAlphaAndRefusesEmptySizes) {
  const Image translucent = Filled(6, 6, {10, 20, 30, 128}, true);
  const auto scaled = ResampleBicubic(translucent, 3, 9);
  ASSERT_TRUE(scaled.has_value());
  ASSERT_TRUE(scaled->HasAlpha());
  EXPECT_EQ(scaled->PixelAt(1, 4), (Rgba{10, 20, 30, 128}));
  EXPECT_FALSE(ResampleBicubic(translucent, 0, 5).has_value());
  EXPECT_FALSE(ResampleBicubic(translucent, 5, -1).has_value());
}

TEST(DrawImage, HonoursAlphaTransparentColourAndIndexAndClips) {
  auto canvas = MakeCanvas(6, 4, {255, 255, 255});
  ASSERT_TRUE(canvas.has_value());
  EXPECT_FALSE(canvas->HasAlpha());

  Image half = Filled(2, 2, {0, 0, 0, 128}, true);
  DrawImage(*canvas, half, 0, 0);
  EXPECT_EQ(canvas->PixelAt(1, 1), (Rgba{127, 127, 127, 255}));
  EXPECT_EQ(canvas->PixelAt(2, 1), (Rgba{255, 255, 255, 255}));

  Image keyed = Filled(2, 2, {0, 255, 0});
  keyed.SetPixel(0, 0, {255, 0, 0});
  keyed.SetTransparentColor(Rgb{0, 255, 0});
  DrawImage(*canvas, keyed, 2, 0);
  EXPECT_EQ(canvas->PixelAt(2, 0), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(canvas->PixelAt(3, 1), (Rgba{255, 255, 255, 255}));

  Image indexed = *Image::Create(2, 2, 8);
  indexed.SetPalette({{0, 0, 255, 0}, {255, 0, 0, 0}});  // red, blue
  indexed.RowFromTop(0)[1] = 1;
  indexed.SetTransparentIndex(0);
  DrawImage(*canvas, indexed, 5, 2);  // half outside: clipped
  EXPECT_EQ(canvas->PixelAt(5, 2), (Rgba{255, 255, 255, 255}));
  DrawImage(*canvas, indexed, 4, 2);
  EXPECT_EQ(canvas->PixelAt(5, 2), (Rgba{0, 0, 255, 255}));
  EXPECT_EQ(canvas->PixelAt(4, 2), (Rgba{255, 255, 255, 255}));
}

}  // namespace
}  // namespace sealrun::platform::imaging
