// The image a signing run stamps: which picture is chosen, with or without the date, and its size.
#include <gtest/gtest.h>

#include "platform/imaging/ImageCodec.h"
#include "signing/StampPreparation.h"

namespace sealrun::signing {
namespace {

std::vector<uint8_t> Png(int width, int height) {
  auto image = platform::imaging::Image::Create(width, height, 24);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image->SetPixel(x, y, platform::imaging::Rgba{200, 10, 10, 255});
  const auto png = platform::imaging::EncodePng(*image);
  return std::vector<uint8_t>(png->begin(), png->end());
}

constexpr StampDate kDate{2024, 3, 5};

TEST(StampPreparation, SealPictureWithAndWithoutTheDate) {
  const std::vector<uint8_t> seal = Png(100, 80);
  StampImages images;
  PreparedStamp plain = PrepareStampImage(images, seal, false, kDate);
  ASSERT_EQ(plain.result, PrepareResult::Prepared);
  EXPECT_EQ(images.stamping, seal);  // stamped as the key delivered it
  EXPECT_EQ(images.stampWidth, 100);
  EXPECT_EQ(images.stampHeight, 80);
  ASSERT_TRUE(plain.image);
  EXPECT_EQ(plain.image->Width(), 100);

  PreparedStamp dated = PrepareStampImage(images, seal, true, kDate);
  ASSERT_EQ(dated.result, PrepareResult::Prepared);
  EXPECT_EQ(platform::imaging::DetectFormat(images.stamping), platform::imaging::ImageFormat::Png);
  EXPECT_EQ(images.stampHeight, 80 + kDateCellHeight);
  EXPECT_EQ(images.stampWidth, 100);  // the date is narrower than this seal
  const auto decoded = platform::imaging::DecodeImage(images.stamping);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->Height(), images.stampHeight);
  EXPECT_EQ(std::span<const uint8_t>(ImageForRun(images, true)).size(), images.stamping.size());
}

TEST(StampPreparation, HandwritingIsPreviewedAndTakenOverByTheRun) {
  const std::vector<uint8_t> seal = Png(100, 80);
  StampImages images;
  PrepareStampImage(images, seal, false, kDate);
  images.handwriting = Png(60, 30);
  images.handwritten = true;

  PreparedStamp previewed = PrepareStampImage(images, seal, false, kDate);
  ASSERT_EQ(previewed.result, PrepareResult::Prepared);
  EXPECT_EQ(images.stampWidth, 60);
  EXPECT_EQ(images.stampHeight, 30);
  EXPECT_EQ(images.stamping, seal);  // not yet: the run copies it
  const auto run = ImageForRun(images, false);
  EXPECT_EQ(std::vector<uint8_t>(run.begin(), run.end()), images.handwriting);

  // With the date the signature is composed, right-aligned over the date.
  PrepareStampImage(images, seal, true, kDate);
  EXPECT_EQ(images.stampHeight, 30 + kDateCellHeight);
  EXPECT_GE(images.stampWidth, 60);
  EXPECT_NE(images.stamping, images.handwriting);
  const auto datedRun = ImageForRun(images, true);
  EXPECT_NE(std::vector<uint8_t>(datedRun.begin(), datedRun.end()), images.handwriting);
}

TEST(StampPreparation, NothingStaleIsLeftWhenThePictureCannotBePrepared) {
  const std::vector<uint8_t> seal = Png(100, 80);
  const std::vector<uint8_t> garbage = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
  for (const bool addDate : {false, true}) {
    StampImages images;
    PrepareStampImage(images, seal, addDate, kDate);
    ASSERT_GT(images.stampWidth, 0);

    EXPECT_EQ(PrepareStampImage(images, {}, addDate, kDate).result, PrepareResult::NoPicture);
    EXPECT_TRUE(images.stamping.empty());
    EXPECT_EQ(images.stampWidth, 0);
    EXPECT_EQ(images.stampHeight, 0);

    PrepareStampImage(images, seal, addDate, kDate);
    const PreparedStamp bad = PrepareStampImage(images, garbage, addDate, kDate);
    EXPECT_EQ(bad.result, PrepareResult::Undecodable);
    EXPECT_FALSE(bad.image);
    EXPECT_TRUE(images.stamping.empty());
    EXPECT_EQ(images.stampWidth, 0);
  }
}

}  // namespace
}  // namespace sealrun::signing
