// Windows bitmaps, read by hand: core and info headers up to version 5; 1, 4 and 8 bits with a palette
// (uncompressed or run-length encoded), 16, 24 and 32 bits (with bit-field masks and alpha).
#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/imaging/Decoders.h"

namespace sealrun::platform::imaging::detail {
namespace {

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool Has(size_t offset, size_t length) const { return offset <= bytes_.size() && length <= bytes_.size() - offset; }
  uint32_t U32(size_t offset) const {
    return bytes_[offset] | (bytes_[offset + 1] << 8) | (bytes_[offset + 2] << 16) | (uint32_t{bytes_[offset + 3]} << 24);
  }
  uint16_t U16(size_t offset) const { return static_cast<uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8)); }
  int32_t I32(size_t offset) const { return static_cast<int32_t>(U32(offset)); }
  uint8_t At(size_t offset) const { return bytes_[offset]; }
  size_t Size() const { return bytes_.size(); }
  const uint8_t* Data(size_t offset) const { return bytes_.data() + offset; }

 private:
  std::span<const uint8_t> bytes_;
};

struct Header {
  int width = 0;
  int height = 0;
  bool topDown = false;
  int bitsPerPixel = 0;
  uint32_t compression = kRgb;
  uint32_t colorsUsed = 0;
  uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  size_t paletteOffset = 0;
  size_t paletteEntrySize = 4;
  size_t pixelOffset = 0;
};

// Scales a masked channel value to 8 bits.
uint8_t Channel(uint32_t pixel, uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const int width = std::popcount(mask);
  const uint32_t value = (pixel & mask) >> shift;
  const uint32_t maximum = (width >= 32) ? 0xFFFFFFFFu : ((1u << width) - 1);
  return static_cast<uint8_t>(value * 255 / maximum);
}

std::optional<Header> ReadHeader(const Reader& in) {
  if (!in.Has(0, 18)) return std::nullopt;
  Header header;
  header.pixelOffset = in.U32(10);
  const uint32_t infoSize = in.U32(14);
  if (infoSize < 12 || !in.Has(14, infoSize)) return std::nullopt;
  if (infoSize == 12) {
    header.width = in.U16(18);
    header.height = in.U16(20);
    header.bitsPerPixel = in.U16(24);
    header.paletteEntrySize = 3;
  } else {
    if (infoSize < 40) return std::nullopt;
    header.width = in.I32(18);
    const int32_t height = in.I32(22);
    if (height == INT32_MIN) return std::nullopt;
    header.topDown = height < 0;
    header.height = height < 0 ? -height : height;
    header.bitsPerPixel = in.U16(28);
    header.compression = in.U32(30);
    header.colorsUsed = in.U32(46);
    size_t maskOffset = 54;
    if (infoSize >= 52) maskOffset = 54;  // masks live inside the larger headers
    const int maskCount = infoSize >= 56 ? 4 : infoSize >= 52 ? 3 : header.compression == kAlphaBitFields ? 4 : 3;
    if (header.compression == kBitFields || header.compression == kAlphaBitFields || infoSize >= 52) {
      if (!in.Has(maskOffset, 4 * static_cast<size_t>(maskCount))) return std::nullopt;
      for (int i = 0; i < maskCount; ++i) header.masks[i] = in.U32(maskOffset + 4 * static_cast<size_t>(i));
    }
  }
  header.paletteOffset = 14 + infoSize;
  if (infoSize == 40 && header.compression == kBitFields) header.paletteOffset += 12;
  if (infoSize == 40 && header.compression == kAlphaBitFields) header.paletteOffset += 16;
  if (header.width <= 0 || header.height <= 0) return std::nullopt;
  return header;
}

std::vector<PaletteEntry> ReadPalette(const Reader& in, const Header& header) {
  const size_t maximum = size_t{1} << header.bitsPerPixel;
  size_t count = header.colorsUsed ? std::min<size_t>(header.colorsUsed, maximum) : maximum;
  std::vector<PaletteEntry> palette(maximum);
  for (size_t i = 0; i < count; ++i) {
    const size_t offset = header.paletteOffset + i * header.paletteEntrySize;
    if (!in.Has(offset, 3)) break;
    palette[i] = {in.At(offset), in.At(offset + 1), in.At(offset + 2), 0};
  }
  return palette;
}

void SetIndex(Image& image, int x, int yFromTop, uint8_t index) {
  uint8_t* row = image.RowFromTop(yFromTop);
  if (image.BitsPerPixel() == 8) {
    row[x] = index;
  } else {  // 4 bits
    uint8_t& byte = row[x >> 1];
    byte = (x & 1) ? static_cast<uint8_t>((byte & 0xF0) | (index & 0x0F))
                   : static_cast<uint8_t>((byte & 0x0F) | (index << 4));
  }
}

// Run-length encoded 8- or 4-bit pixels; rows run bottom-up. Damaged data stops the decoding where it is.
void DecodeRunLength(const Reader& in, const Header& header, Image& image) {
  const bool four = header.compression == kRle4;
  size_t at = header.pixelOffset;
  int x = 0;
  int row = 0;  // counted from the bottom
  auto put = [&](uint8_t index) {
    if (x < image.Width() && row < image.Height()) SetIndex(image, x, image.Height() - 1 - row, index);
    ++x;
  };
  while (in.Has(at, 2) && row < image.Height()) {
    const uint8_t count = in.At(at);
    const uint8_t value = in.At(at + 1);
    at += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i) put(four ? static_cast<uint8_t>((i & 1) ? (value & 0x0F) : (value >> 4)) : value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++row;
    } else if (value == 1) {  // end of bitmap
      return;
    } else if (value == 2) {  // delta
      if (!in.Has(at, 2)) return;
      x += in.At(at);
      row += in.At(at + 1);
      at += 2;
    } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
      const size_t length = four ? (value + 1u) / 2 : value;
      if (!in.Has(at, length)) return;
      for (int i = 0; i < value; ++i) {
        const uint8_t byte = in.At(at + (four ? static_cast<size_t>(i / 2) : static_cast<size_t>(i)));
        put(four ? static_cast<uint8_t>((i & 1) ? (byte & 0x0F) : (byte >> 4)) : byte);
      }
      at += (length + 1) & ~size_t{1};
    }
  }
}

}  // namespace

std::optional<Image> DecodeBmp(std::span<const uint8_t> bytes) {
  const Reader in(bytes);
  const auto header = ReadHeader(in);
  if (!header) return std::nullopt;
  const int bpp = header->bitsPerPixel;

  if (bpp == 1 || bpp == 4 || bpp == 8) {
    auto image = Image::Create(header->width, header->height, bpp);
    if (!image) return std::nullopt;
    image->SetPalette(ReadPalette(in, *header));
    if (header->compression == kRle8 || header->compression == kRle4) {
      if ((header->compression == kRle8) != (bpp == 8) || (header->compression == kRle4) != (bpp == 4)) return std::nullopt;
      DecodeRunLength(in, *header, *image);
      return image;
    }
    if (header->compression != kRgb) return std::nullopt;
    if (!in.Has(header->pixelOffset, image->Stride() * static_cast<size_t>(header->height))) return std::nullopt;
    for (int row = 0; row < header->height; ++row) {
      const int stored = header->topDown ? header->height - 1 - row : row;
      std::memcpy(image->StoredRow(stored), in.Data(header->pixelOffset + image->Stride() * static_cast<size_t>(row)),
                  image->Stride());
    }
    return image;
  }

  if (bpp != 16 && bpp != 24 && bpp != 32) return std::nullopt;
  if (header->compression != kRgb && header->compression != kBitFields && header->compression != kAlphaBitFields)
    return std::nullopt;
  uint32_t masks[4] = {header->masks[0], header->masks[1], header->masks[2], header->masks[3]};
  if (header->compression == kRgb) {
    if (bpp == 16) {
      masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F, masks[3] = 0;
    } else {
      masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
      if (bpp == 24) masks[3] = 0;
    }
  }
  auto image = Image::Create(header->width, header->height, 24);
  if (!image) return std::nullopt;
  const size_t sourceStride = ((static_cast<size_t>(header->width) * bpp + 31) / 32) * 4;
  if (!in.Has(header->pixelOffset, sourceStride * static_cast<size_t>(header->height))) return std::nullopt;
  const size_t pixelBytes = static_cast<size_t>(bpp / 8);
  bool anyAlpha = false;
  std::vector<uint8_t> alpha(masks[3] ? static_cast<size_t>(header->width) * header->height : 0);
  for (int row = 0; row < header->height; ++row) {
    const int stored = header->topDown ? header->height - 1 - row : row;
    const uint8_t* source = in.Data(header->pixelOffset + sourceStride * static_cast<size_t>(row));
    uint8_t* target = image->StoredRow(stored);
    for (int x = 0; x < header->width; ++x) {
      uint32_t pixel = 0;
      for (size_t b = 0; b < pixelBytes; ++b) pixel |= uint32_t{source[x * pixelBytes + b]} << (8 * b);
      target[3 * x] = Channel(pixel, masks[2]);
      target[3 * x + 1] = Channel(pixel, masks[1]);
      target[3 * x + 2] = Channel(pixel, masks[0]);
      if (masks[3]) {
        const uint8_t a = Channel(pixel, masks[3]);
        anyAlpha = anyAlpha || a != 0;
        alpha[static_cast<size_t>(stored) * header->width + x] = a;
      }
    }
  }
  // Many writers leave the alpha byte at zero: such a bitmap is opaque.
  if (anyAlpha) {
    image->EnableAlpha();
    for (int row = 0; row < header->height; ++row)
      std::memcpy(image->AlphaStoredRow(row), alpha.data() + static_cast<size_t>(row) * header->width,
                  static_cast<size_t>(header->width));
  }
  return image;
}

}  // namespace sealrun::platform::imaging::detail
