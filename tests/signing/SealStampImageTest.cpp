// Seal pictures as the engine receives them: rows top first, channels in RGB order, transparency kept as
// a soft mask or colour key, JPEG passed through; and what lands in the file for each kind of picture.
#include <gtest/gtest.h>

#include "platform/imaging/ImageCodec.h"
#include "signing/StampImage.h"
#include "tests/signing/SealStampTestSupport.h"

namespace sealrun::signing::testing {
namespace {

namespace imaging = platform::imaging;
using imaging::Image;
using imaging::PaletteEntry;

// A GIF89a of 2-bit indices with a transparent index, LZW-coded with a clear code before every second
// literal so all codes stay 3 bits wide.
std::vector<uint8_t> MakeGif(int width, int height, const std::vector<uint8_t>& indices, int transparentIndex) {
  std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a'};
  auto put16 = [&](int value) { gif.insert(gif.end(), {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)}); };
  put16(width);
  put16(height);
  gif.insert(gif.end(), {0x91, 0, 0});                                    // 4-entry global colour table
  gif.insert(gif.end(), {255, 255, 255, 255, 0, 0, 0, 0, 255, 0, 128, 0});  // white, red, blue, green
  gif.insert(gif.end(), {0x21, 0xF9, 4, 1, 0, 0, static_cast<uint8_t>(transparentIndex), 0});
  gif.push_back(0x2C);
  put16(0);
  put16(0);
  put16(width);
  put16(height);
  gif.push_back(0);
  gif.push_back(2);  // minimum code size

  std::vector<uint8_t> data;
  uint32_t bits = 0;
  int bitCount = 0;
  auto emit = [&](int code) {
    bits |= static_cast<uint32_t>(code) << bitCount;
    for (bitCount += 3; bitCount >= 8; bitCount -= 8, bits >>= 8) data.push_back(static_cast<uint8_t>(bits & 0xFF));
  };
  for (size_t i = 0; i < indices.size(); ++i) {
    if (i % 2 == 0) emit(4);  // clear
    emit(indices[i]);
  }
  emit(5);  // end of information
  if (bitCount > 0) data.push_back(static_cast<uint8_t>(bits & 0xFF));
  for (size_t at = 0; at < data.size(); at += 255) {
    const size_t block = std::min<size_t>(255, data.size() - at);
    gif.push_back(static_cast<uint8_t>(block));
    gif.insert(gif.end(), data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + block));
  }
  gif.insert(gif.end(), {0, 0x3B});
  return gif;
}

TEST(SealStampImageConversionTest, RowsTopFirstInRgbOrderWithTheirAlpha) {
  // 3 x 2, every pixel different, alpha falling from the top-left.
  auto picture = Image::Create(3, 2, 24);
  ASSERT_TRUE(picture);
  picture->EnableAlpha();
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      picture->SetPixel(x, y, {static_cast<uint8_t>(10 + x), static_cast<uint8_t>(20 + y), static_cast<uint8_t>(30 + x + y),
                               static_cast<uint8_t>(250 - 40 * (x + 3 * y))});
  const StampPixels pixels = ConvertPicture(*picture);
  EXPECT_EQ(pixels.colorSpace, StampColorSpace::Rgb);
  EXPECT_EQ(pixels.bitsPerComponent, 8);
  const std::vector<uint8_t> rgb = {10, 20, 30, 11, 20, 31, 12, 20, 32, 10, 21, 31, 11, 21, 32, 12, 21, 33};
  EXPECT_EQ(pixels.bytes, rgb);
  const std::vector<uint8_t> alpha = {250, 210, 170, 130, 90, 50};
  EXPECT_EQ(pixels.softMask, alpha);
  EXPECT_FALSE(pixels.colorKey);

  // Without alpha, a transparent colour of a true-colour picture becomes a colour key.
  picture->DropAlpha();
  picture->SetTransparentColor(imaging::Rgb{12, 21, 33});
  const StampPixels keyed = ConvertPicture(*picture);
  EXPECT_TRUE(keyed.softMask.empty());
  ASSERT_TRUE(keyed.colorKey);
  EXPECT_EQ(*keyed.colorKey, (std::array<int, 6>{12, 12, 21, 21, 33, 33}));
}

TEST(SealStampImageConversionTest, IndexedPicturesKeepTheirPaletteAndTransparency) {
  auto picture = Image::Create(2, 2, 8);
  ASSERT_TRUE(picture);
  picture->SetPalette({{0, 0, 255, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}});  // red, blue, green (BGR order)
  const uint8_t top[2] = {0, 2};
  const uint8_t bottom[2] = {1, 0};
  std::copy(top, top + 2, picture->RowFromTop(0));
  std::copy(bottom, bottom + 2, picture->RowFromTop(1));

  picture->SetTransparentIndex(0);
  StampPixels pixels = ConvertPicture(*picture);
  EXPECT_EQ(pixels.colorSpace, StampColorSpace::Indexed);
  EXPECT_EQ(pixels.bytes, (std::vector<uint8_t>{0, 2, 1, 0}));
  EXPECT_EQ(pixels.paletteRgb, (std::vector<uint8_t>{255, 0, 0, 0, 0, 255, 0, 255, 0}));
  EXPECT_EQ(pixels.softMask, (std::vector<uint8_t>{0, 255, 255, 0})) << "a mask from the transparent index";

  // Palette alpha wins over a transparent index and is read per pixel.
  picture->SetPalette({{0, 0, 255, 10}, {255, 0, 0, 200}, {0, 255, 0, 255}});
  picture->SetPaletteHasAlpha(true);
  pixels = ConvertPicture(*picture);
  EXPECT_EQ(pixels.softMask, (std::vector<uint8_t>{10, 255, 200, 10}));

  // An 8-bit gray ramp is plain gray; a 1-bit picture keeps whole bytes per row.
  auto gray = Image::Create(2, 1, 8);
  std::vector<PaletteEntry> ramp(256);
  for (int i = 0; i < 256; ++i) ramp[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0};
  gray->SetPalette(ramp);
  EXPECT_EQ(ConvertPicture(*gray).colorSpace, StampColorSpace::Gray);
  EXPECT_TRUE(ConvertPicture(*gray).paletteRgb.empty());
  auto mono = Image::Create(10, 2, 1);
  mono->SetPalette({{0, 0, 0, 0}, {255, 255, 255, 0}});
  mono->RowFromTop(0)[0] = 0xA5;
  mono->RowFromTop(1)[1] = 0xC0;
  const StampPixels bits = ConvertPicture(*mono);
  EXPECT_EQ(bits.bitsPerComponent, 1);
  EXPECT_EQ(bits.bytes, (std::vector<uint8_t>{0xA5, 0, 0, 0xC0}));
}

class SealStampImageTest : public StampFixture {
 protected:
  // The image XObject of the one seal annotation stamped onto a fresh page with this picture.
  struct StampedImage {
    DocumentHandle document;
    external::CosHandle image;
  };
  StampedImage StampWith(const std::vector<uint8_t>& picture, const std::string& name) {
    const auto path = temp_ / (name + ".pdf");
    WriteTestPdf(path, {BlankPage({0, 0, 300, 400}, std::nullopt, 0)});
    inputs_.image = picture;
    EXPECT_EQ(StampSealAnnotation(inputs_, Wide(path), u"123456", nullptr).Code(), 0);
    StampedImage stamped{OpenDocument(engine_, path), nullptr};
    if (!stamped.document) return stamped;
    const auto seals = SealAnnotations(stamped.document.get(), 0);
    if (seals.size() != 1) return stamped;
    qp_cos at = seals[0].get();
    std::vector<external::CosHandle> chain;
    for (const char* key : {"AP", "N", "Resources", "XObject", "Im0"}) {
      chain.emplace_back(qp_cos_dict_gets(at, key));
      at = chain.back().get();
      if (at == nullptr) return stamped;
    }
    stamped.image = std::move(chain.back());
    return stamped;
  }
};

TEST_F(SealStampImageTest, TransparencyOfEachPictureKindReachesTheFile) {
  // PNG with an alpha channel: a soft mask.
  auto alpha = Image::Create(8, 8, 24);
  alpha->EnableAlpha();
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) alpha->SetPixel(x, y, {255, 0, 0, static_cast<uint8_t>(x < 4 ? 0 : 255)});
  const auto png = imaging::EncodePng(*alpha);
  ASSERT_TRUE(png);
  {
    SCOPED_TRACE("alpha PNG");
    const auto stamped = StampWith({png->begin(), png->end()}, "alpha");
    ASSERT_TRUE(stamped.image);
    EXPECT_TRUE(qp_cos_is_stream(external::CosHandle(qp_cos_dict_gets(stamped.image.get(), "SMask")).get()));
  }
  {
    SCOPED_TRACE("GIF with a transparent index");
    std::vector<uint8_t> indices(6 * 4);
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<uint8_t>(i % 3);
    const auto gif = MakeGif(6, 4, indices, 0);
    const auto decoded = imaging::DecodeImage(gif);
    ASSERT_TRUE(decoded) << "the hand-made GIF must decode";
    ASSERT_EQ(decoded->TransparentIndex(), 0);
    const auto stamped = StampWith(gif, "gif");
    ASSERT_TRUE(stamped.image);
    const external::CosHandle mask(qp_cos_dict_gets(stamped.image.get(), "SMask"));
    ASSERT_TRUE(qp_cos_is_stream(mask.get()));
    const auto maskBytes = ReadStream(mask.get(), StreamBytes::Decoded);
    ASSERT_TRUE(maskBytes);
    ASSERT_EQ(maskBytes->size(), indices.size());
    for (size_t i = 0; i < indices.size(); ++i)
      EXPECT_EQ(static_cast<uint8_t>((*maskBytes)[i]), indices[i] == 0 ? 0 : 255) << "pixel " << i;
  }
  {
    SCOPED_TRACE("JPEG");
    auto opaque = Image::Create(16, 16, 24);
    const auto jpeg = imaging::EncodeJpeg(*opaque, 90);
    ASSERT_TRUE(jpeg);
    const auto stamped = StampWith({jpeg->begin(), jpeg->end()}, "jpeg");
    ASSERT_TRUE(stamped.image);
    EXPECT_STREQ(qp_cos_to_name(external::CosHandle(qp_cos_dict_gets(stamped.image.get(), "Filter")).get()), "DCTDecode");
    EXPECT_EQ(ReadStream(stamped.image.get(), StreamBytes::Stored), *jpeg) << "JPEG bytes are stored as they are";
    EXPECT_EQ(qp_cos_dict_gets(stamped.image.get(), "SMask"), nullptr);
  }
}

}  // namespace
}  // namespace sealrun::signing::testing
