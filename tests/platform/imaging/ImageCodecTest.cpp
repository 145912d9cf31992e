#include "platform/imaging/ImageCodec.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace sealrun::platform::imaging {
namespace {

std::span<const uint8_t> AsBytes(const std::string& bytes) {
  return {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
}

void Put16(std::string& out, uint16_t v) { out += static_cast<char>(v & 0xFF), out += static_cast<char>(v >> 8); }
void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A bitmap file with a 40-byte (or larger) info header; `extra` follows the header (masks, palette).
std::string Bitmap(int width, int height, int bpp, uint32_t compression, const std::string& extra,
                   const std::string& pixels, uint32_t infoSize = 40, uint32_t colorsUsed = 0) {
  std::string info;
  Put32(info, infoSize);
  Put32(info, static_cast<uint32_t>(width));
  Put32(info, static_cast<uint32_t>(height));
  Put16(info, 1);
  Put16(info, static_cast<uint16_t>(bpp));
  Put32(info, compression);
  Put32(info, static_cast<uint32_t>(pixels.size()));
  Put32(info, 2835), Put32(info, 2835);
  Put32(info, colorsUsed), Put32(info, 0);
  info.resize(infoSize, '\0');
  std::string file = "BM";
  Put32(file, static_cast<uint32_t>(14 + info.size() + extra.size() + pixels.size()));
  Put32(file, 0);
  Put32(file, static_cast<uint32_t>(14 + info.size() + extra.size()));
  return file + info + extra + pixels;
}

TEST(ImageFormat, IsDetectedFromTheData) {
  EXPECT_EQ(DetectFormat(AsBytes("\x89PNG\r\n\x1A\n....")), ImageFormat::Png);
  EXPECT_EQ(DetectFormat(AsBytes("\xFF\xD8\xFF\xE0")), ImageFormat::Jpeg);
  EXPECT_EQ(DetectFormat(AsBytes("GIF89a")), ImageFormat::Gif);
  EXPECT_EQ(DetectFormat(AsBytes("GIF87a")), ImageFormat::Gif);
  EXPECT_EQ(DetectFormat(AsBytes(std::string("BM") + std::string(30, '\0'))), ImageFormat::Bmp);
  EXPECT_EQ(DetectFormat(AsBytes("%PDF-1.7")), ImageFormat::Unknown);
  EXPECT_EQ(DetectFormat({}), ImageFormat::Unknown);
}

TEST(Bmp, TrueColourRowsAreStoredBottomUpWhateverTheFileOrder) {
  // 2 x 2, 24 bits: bottom row red, blue; top row green, white (rows padded to 8 bytes).
  const std::string pixels = std::string("\x00\x00\xFF\xFF\x00\x00\x00\x00", 8) + std::string("\x00\xFF\x00\xFF\xFF\xFF\x00\x00", 8);
  auto image = DecodeImage(AsBytes(Bitmap(2, 2, 24, 0, "", pixels)));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->BitsPerPixel(), 24);
  EXPECT_EQ(image->SourceFormat(), ImageFormat::Bmp);
  EXPECT_EQ(image->PixelAt(0, 1), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(image->PixelAt(1, 1), (Rgba{0, 0, 255, 255}));
  EXPECT_EQ(image->PixelAt(0, 0), (Rgba{0, 255, 0, 255}));
  EXPECT_EQ(std::memcmp(image->StoredRow(0), "\x00\x00\xFF\xFF\x00\x00", 6), 0);

  // The same picture stored top-down (negative height) decodes to the same stored rows.
  const std::string topDown = std::string("\x00\xFF\x00\xFF\xFF\xFF\x00\x00", 8) + std::string("\x00\x00\xFF\xFF\x00\x00\x00\x00", 8);
  auto flipped = DecodeImage(AsBytes(Bitmap(2, -2, 24, 0, "", topDown)));
  ASSERT_TRUE(flipped);
  EXPECT_TRUE(std::equal(image->Bits().begin(), image->Bits().end(), flipped->Bits().begin()));
}

TEST(Bmp, IndexedAndRunLengthBitmapsKeepTheirPalette) {
  const std::string palette = std::string("\x00\x00\x00\x00\xFF\xFF\xFF\x00\x00\x00\xFF\x00", 12);
  // 3 x 1 at 4 bits: indices 1, 2, 0.
  auto four = DecodeImage(AsBytes(Bitmap(3, 1, 4, 0, palette, std::string("\x12\x00\x00\x00", 4), 40, 3)));
  ASSERT_TRUE(four);
  EXPECT_EQ(four->BitsPerPixel(), 4);
  EXPECT_EQ(four->IndexAt(0, 0), 1);
  EXPECT_EQ(four->IndexAt(1, 0), 2);
  EXPECT_EQ(four->PixelAt(1, 0), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(four->Palette().size(), 16u);

  // RLE8, 4 x 2: bottom row a run of four 2s, top row absolute 0 1 2 1.
  const std::string rle = std::string("\x04\x02\x00\x00\x00\x04\x00\x01\x02\x01\x00\x01", 12);
  auto runs = DecodeImage(AsBytes(Bitmap(4, 2, 8, 1, palette + std::string(1012, '\0'), rle)));
  ASSERT_TRUE(runs);
  EXPECT_EQ(runs->IndexAt(3, 1), 2);
  EXPECT_EQ(runs->IndexAt(1, 0), 1);
  EXPECT_EQ(runs->IndexAt(2, 0), 2);
}

TEST(Bmp, ThirtyTwoBitAlphaIsKeptOnlyWhenItIsUsed) {
  std::string masks;
  Put32(masks, 0x00FF0000), Put32(masks, 0x0000FF00), Put32(masks, 0x000000FF), Put32(masks, 0xFF000000);
  // A version 4 header carries its masks inside.
  std::string header = Bitmap(1, 1, 32, 3, "", std::string("\x10\x20\x30\x80", 4), 108);
  header.replace(14 + 40, 16, masks);
  auto withAlpha = DecodeImage(AsBytes(header));
  ASSERT_TRUE(withAlpha);
  EXPECT_TRUE(withAlpha->HasAlpha());
  EXPECT_EQ(withAlpha->PixelAt(0, 0), (Rgba{0x30, 0x20, 0x10, 0x80}));

  header.replace(header.size() - 1, 1, std::string(1, '\0'));
  auto zeroAlpha = DecodeImage(AsBytes(header));
  ASSERT_TRUE(zeroAlpha);
  EXPECT_FALSE(zeroAlpha->HasAlpha());

  // 16 bits, 5-6-5 masks given after a 40-byte header.
  std::string masks565;
  Put32(masks565, 0xF800), Put32(masks565, 0x07E0), Put32(masks565, 0x001F);
  auto sixteen = DecodeImage(AsBytes(Bitmap(1, 1, 16, 3, masks565, std::string("\x1F\xF8\x00\x00", 4))));
  ASSERT_TRUE(sixteen);
  EXPECT_EQ(sixteen->PixelAt(0, 0), (Rgba{255, 0, 255, 255}));
}

TEST(Png, RoundTripsTrueColourAlphaAndPalettes) {
  auto rgba = Image::Create(3, 2, 24);
  ASSERT_TRUE(rgba);
  rgba->EnableAlpha();
  rgba->SetPixel(0, 0, {255, 0, 0, 0});
  rgba->SetPixel(2, 1, {1, 2, 3, 200});
  const auto png = EncodePng(*rgba);
  ASSERT_TRUE(png);
  auto back = DecodeImage(AsBytes(*png));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->SourceFormat(), ImageFormat::Png);
  EXPECT_EQ(back->BitsPerPixel(), 24);
  ASSERT_TRUE(back->HasAlpha());
  EXPECT_EQ(back->PixelAt(0, 0).alpha, 0);
  EXPECT_EQ(back->PixelAt(2, 1), (Rgba{1, 2, 3, 200}));
  EXPECT_EQ(back->PixelAt(1, 0), (Rgba{0, 0, 0, 255}));

  auto indexed = Image::Create(2, 1, 8);
  std::vector<PaletteEntry> palette(256);
  palette[0] = {255, 255, 255, 0};
  palette[1] = {0, 0, 200, 0};
  indexed->SetPalette(palette);
  indexed->SetTransparentIndex(0);
  indexed->RowFromTop(0)[1] = 1;
  auto keyed = DecodeImage(AsBytes(*EncodePng(*indexed)));
  ASSERT_TRUE(keyed);
  EXPECT_EQ(keyed->BitsPerPixel(), 8);
  EXPECT_EQ(keyed->TransparentIndex(), 0);
  EXPECT_FALSE(keyed->PaletteHasAlpha());
  EXPECT_EQ(keyed->PixelAt(1, 0), (Rgba{200, 0, 0, 255}));
  EXPECT_EQ(keyed->TransparentColor(), (Rgb{255, 255, 255}));

  palette[1].reserved = 128;
  indexed->SetPalette(palette);
  indexed->SetPaletteHasAlpha(true);
  auto translucent = DecodeImage(AsBytes(*EncodePng(*indexed)));
  ASSERT_TRUE(translucent);
  EXPECT_TRUE(translucent->PaletteHasAlpha());
  EXPECT_EQ(translucent->PixelAt(1, 0).alpha, 128);
}

TEST(Jpeg, RoundTripsWithinCompressionError) {
  auto image = Image::Create(16, 16, 24);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) image->SetPixel(x, y, {static_cast<uint8_t>(y < 8 ? 220 : 20), 40, 60, 255});
  const auto jpeg = EncodeJpeg(*image, 95);
  ASSERT_TRUE(jpeg);
  EXPECT_EQ(DetectFormat(AsBytes(*jpeg)), ImageFormat::Jpeg);
  auto back = DecodeImage(AsBytes(*jpeg));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Width(), 16);
  EXPECT_NEAR(back->PixelAt(3, 2).red, 220, 8);
  EXPECT_NEAR(back->PixelAt(3, 13).red, 20, 8);
  EXPECT_FALSE(EncodeJpeg(*image, 0));
}

// Writes an interlaced 4 x 10 GIF whose row y holds index y % 3, index 2 transparent, with giflib itself.
std::string InterlacedGif() {
  std::string out;
  auto write = [](GifFileType* gif, const GifByteType* data, int length) {
    static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
    return length;
  };
  int error = 0;
  GifFileType* gif = EGifOpen(&out, write, &error);
  GifColorType colors[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  ColorMapObject* map = GifMakeMapObject(4, colors);
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, 4, 10, 2, 0, map);
  GraphicsControlBlock control{};
  control.TransparentColor = 2;
  GifByteType extension[4];
  const size_t length = EGifGCBToExtension(&control, extension);
  EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension);
  EGifPutImageDesc(gif, 0, 0, 4, 10, true, nullptr);
  constexpr int kOffsets[] = {0, 4, 2, 1}, kJumps[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int y = kOffsets[pass]; y < 10; y += kJumps[pass]) {
      GifPixelType line[4];
      std::memset(line, y % 3, sizeof line);
      EGifPutLine(gif, line, 4);
    }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

TEST(Gif, FirstFrameWithPaletteInterlaceAndTransparentIndex) {
  auto image = DecodeImage(AsBytes(InterlacedGif()));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->SourceFormat(), ImageFormat::Gif);
  EXPECT_EQ(image->BitsPerPixel(), 8);
  EXPECT_EQ(image->Height(), 10);
  for (int y = 0; y < 10; ++y) EXPECT_EQ(image->IndexAt(1, y), y % 3) << "row " << y;
  EXPECT_EQ(image->TransparentIndex(), 2);
  EXPECT_EQ(image->TransparentColor(), (Rgb{0, 255, 0}));
  EXPECT_EQ(image->PixelAt(0, 1), (Rgba{255, 0, 0, 255}));
}

TEST(DecodeImage, DamagedOrHostileDataIsRefused) {
  const std::string gif = InterlacedGif();
  EXPECT_FALSE(DecodeImage(AsBytes(gif.substr(0, gif.size() / 2))));
  auto image = Image::Create(8, 8, 24);
  const std::string png = *EncodePng(*image);
  EXPECT_FALSE(DecodeImage(AsBytes(png.substr(0, png.size() - 20))));
  const std::string jpeg = *EncodeJpeg(*image, 80);
  EXPECT_FALSE(DecodeImage(AsBytes(jpeg.substr(0, 40))));
  EXPECT_FALSE(DecodeImage(AsBytes("GIF89a")));
  // Bitmaps whose header promises more pixels than the file holds, or an absurd size.
  EXPECT_FALSE(DecodeImage(AsBytes(Bitmap(100, 100, 24, 0, "", std::string(10, '\0')))));
  EXPECT_FALSE(DecodeImage(AsBytes(Bitmap(1 << 30, 1 << 30, 24, 0, "", std::string(10, '\0')))));
  EXPECT_FALSE(DecodeImage(AsBytes(Bitmap(2, 2, 7, 0, "", std::string(16, '\0')))));
  EXPECT_FALSE(Image::Create(0, 5, 24));
  EXPECT_FALSE(Image::Create(5, 5, 32));
}

}  // namespace
}  // namespace sealrun::platform::imaging
