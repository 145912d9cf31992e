#pragma once
// A decoded picture as the seal code expects it from its image library: a device-independent bitmap
// whose rows are stored bottom-up and padded to four bytes, 1, 4, 8 or 24 bits per pixel (24 is blue,
// green, red), a palette for the indexed depths whose reserved byte may carry alpha, an optional
// alpha plane of one byte per pixel (also bottom-up, unpadded), and an optional transparent colour
// or palette index.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sealrun::platform::imaging {

enum class ImageFormat { Unknown, Bmp, Gif, Jpeg, Png };

struct PaletteEntry {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
  uint8_t reserved = 0;  // alpha when the palette carries alpha
  bool operator==(const PaletteEntry&) const = default;
};

struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  bool operator==(const Rgb&) const = default;
};

struct Rgba {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t alpha = 255;
  bool operator==(const Rgba&) const = default;
};

class Image {
 public:
  // A blank image (all bits zero) of a supported depth; nullopt for a bad size or depth. Pictures larger
  // than kMaxPixels are refused so a hostile header cannot exhaust memory.
  static std::optional<Image> Create(int width, int height, int bitsPerPixel);
  static constexpr int64_t kMaxPixels = int64_t{1} << 28;

  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitsPerPixel() const { return bitsPerPixel_; }
  size_t Stride() const { return stride_; }
  ImageFormat SourceFormat() const { return sourceFormat_; }
  void SetSourceFormat(ImageFormat format) { sourceFormat_ = format; }

  // Stored row `row` (0 is the bottom row of the picture).
  uint8_t* StoredRow(int row) { return pixels_.data() + static_cast<size_t>(row) * stride_; }
  const uint8_t* StoredRow(int row) const { return pixels_.data() + static_cast<size_t>(row) * stride_; }
  // Row `y` counted from the top of the picture.
  uint8_t* RowFromTop(int y) { return StoredRow(height_ - 1 - y); }
  const uint8_t* RowFromTop(int y) const { return StoredRow(height_ - 1 - y); }
  std::span<const uint8_t> Bits() const { return pixels_; }

  bool IsIndexed() const { return bitsPerPixel_ <= 8; }
  const std::vector<PaletteEntry>& Palette() const { return palette_; }
  void SetPalette(std::vector<PaletteEntry> palette) { palette_ = std::move(palette); }
  // True when some palette entry is not fully opaque and the reserved bytes are meant as alpha.
  bool PaletteHasAlpha() const { return paletteHasAlpha_; }
  void SetPaletteHasAlpha(bool value) { paletteHasAlpha_ = value; }
  // True for an indexed image whose palette is a ramp of grays.
  bool IsGrayscale() const;

  bool HasAlpha() const { return !alpha_.empty(); }
  // Adds an alpha plane (opaque) when there is none.
  void EnableAlpha();
  void DropAlpha() { alpha_.clear(); }
  uint8_t* AlphaStoredRow(int row) { return alpha_.data() + static_cast<size_t>(row) * width_; }
  const uint8_t* AlphaStoredRow(int row) const { return alpha_.data() + static_cast<size_t>(row) * width_; }

  // The palette index drawn as transparent (indexed images), or -1.
  int TransparentIndex() const { return transparentIndex_; }
  void SetTransparentIndex(int index) { transparentIndex_ = index; }
  // The colour drawn as transparent (true-colour images, or the colour of the transparent index).
  std::optional<Rgb> TransparentColor() const;
  void SetTransparentColor(std::optional<Rgb> color) { transparentColor_ = color; }

  // Pixel access with y counted from the top; alpha from the alpha plane or the palette.
  uint8_t IndexAt(int x, int yFromTop) const;
  Rgba PixelAt(int x, int yFromTop) const;
  // Sets a 24-bit pixel (and its alpha when there is an alpha plane).
  void SetPixel(int x, int yFromTop, Rgba color);

  // The same picture at 24 bits per pixel, alpha plane kept (palette alpha becomes an alpha plane).
  Image ToTrueColor() const;

 private:
  Image(int width, int height, int bitsPerPixel);

  int width_ = 0;
  int height_ = 0;
  int bitsPerPixel_ = 24;
  size_t stride_ = 0;
  ImageFormat sourceFormat_ = ImageFormat::Unknown;
  std::vector<uint8_t> pixels_;
  std::vector<PaletteEntry> palette_;
  bool paletteHasAlpha_ = false;
  std::vector<uint8_t> alpha_;
  int transparentIndex_ = -1;
  std::optional<Rgb> transparentColor_;
};

}  // namespace sealrun::platform::imaging
