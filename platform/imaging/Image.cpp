#include "platform/imaging/Image.h"

namespace sealrun::platform::imaging {

Image::Image(int width, int height, int bitsPerPixel)
    : width_(width),
      height_(height),
      bitsPerPixel_(bitsPerPixel),
      stride_(((static_cast<size_t>(width) * bitsPerPixel + 31) / 32) * 4),
      pixels_(stride_ * static_cast<size_t>(height), 0) {
  if (bitsPerPixel <= 8) palette_.resize(size_t{1} << bitsPerPixel);
}

std::optional<Image> Image::Create(int width, int height, int bitsPerPixel) {
  if (width <= 0 || height <= 0) return std::nullopt;
  if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24) return std::nullopt;
  if (int64_t{width} * height > kMaxPixels) return std::nullopt;
  return Image(width, height, bitsPerPixel);
}

bool Image::IsGrayscale() const {
  if (!IsIndexed() || palette_.empty()) return false;
  for (const auto& entry : palette_)
    if (entry.red != entry.green || entry.green != entry.blue) return false;
  return true;
}

void Image::EnableAlpha() {
  if (alpha_.empty()) alpha_.assign(static_cast<size_t>(width_) * height_, 255);
}

std::optional<Rgb> Image::TransparentColor() const {
  if (transparentColor_) return transparentColor_;
  if (transparentIndex_ >= 0 && static_cast<size_t>(transparentIndex_) < palette_.size()) {
    const auto& entry = palette_[static_cast<size_t>(transparentIndex_)];
    return Rgb{entry.red, entry.green, entry.blue};
  }
  return std::nullopt;
}

uint8_t Image::IndexAt(int x, int yFromTop) const {
  const uint8_t* row = RowFromTop(yFromTop);
  switch (bitsPerPixel_) {
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
      return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case 8:
      return row[x];
    default:
      return 0;
  }
}

Rgba Image::PixelAt(int x, int yFromTop) const {
  Rgba color;
  if (IsIndexed()) {
    const uint8_t index = IndexAt(x, yFromTop);
    if (index < palette_.size()) {
      const auto& entry = palette_[index];
      color = {entry.red, entry.green, entry.blue, paletteHasAlpha_ ? entry.reserved : uint8_t{255}};
    }
  } else {
    const uint8_t* pixel = RowFromTop(yFromTop) + static_cast<size_t>(x) * 3;
    color = {pixel[2], pixel[1], pixel[0], 255};
  }
  if (HasAlpha()) color.alpha = AlphaStoredRow(height_ - 1 - yFromTop)[x];
  return color;
}

void Image::SetPixel(int x, int yFromTop, Rgba color) {
  if (IsIndexed()) return;
  uint8_t* pixel = RowFromTop(yFromTop) + static_cast<size_t>(x) * 3;
  pixel[0] = color.blue;
  pixel[1] = color.green;
  pixel[2] = color.red;
  if (HasAlpha()) AlphaStoredRow(height_ - 1 - yFromTop)[x] = color.alpha;
}

Image Image::ToTrueColor() const {
  if (!IsIndexed()) return *this;
  Image out(width_, height_, 24);
  out.sourceFormat_ = sourceFormat_;
  if (HasAlpha() || paletteHasAlpha_) out.EnableAlpha();
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) out.SetPixel(x, y, PixelAt(x, y));
  out.transparentColor_ = TransparentColor();
  return out;
}

}  // namespace sealrun::platform::imaging
