#include "platform/imaging/Composite.h"

#include <algorithm>

namespace sealrun::platform::imaging {
namespace {

uint8_t Blend(uint8_t over, uint8_t under, uint8_t alpha) {
  return static_cast<uint8_t>((over * alpha + under * (255 - alpha) + 127) / 255);
}

}  // namespace

std::optional<Image> MakeCanvas(int width, int height, Rgb fill) {
  std::optional<Image> canvas = Image::Create(width, height, 24);
  if (!canvas) return std::nullopt;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = canvas->RowFromTop(y);
    for (int x = 0; x < width; ++x) {
      row[x * 3] = fill.blue;
      row[x * 3 + 1] = fill.green;
      row[x * 3 + 2] = fill.red;
    }
  }
  return canvas;
}

void DrawImage(Image& canvas, const Image& source, int x, int y) {
  if (canvas.IsIndexed()) return;
  const int transparentIndex = source.IsIndexed() ? source.TransparentIndex() : -1;
  const std::optional<Rgb> key = source.IsIndexed() ? std::nullopt : source.TransparentColor();
  const int firstX = std::max(0, -x);
  const int firstY = std::max(0, -y);
  const int lastX = std::min(source.Width(), canvas.Width() - x);
  const int lastY = std::min(source.Height(), canvas.Height() - y);
  for (int sy = firstY; sy < lastY; ++sy) {
    uint8_t* row = canvas.RowFromTop(y + sy);
    for (int sx = firstX; sx < lastX; ++sx) {
      if (transparentIndex >= 0 && source.IndexAt(sx, sy) == transparentIndex) continue;
      const Rgba pixel = source.PixelAt(sx, sy);
      if (key && key->red == pixel.red && key->green == pixel.green && key->blue == pixel.blue) continue;
      uint8_t* out = row + static_cast<size_t>(x + sx) * 3;
      out[0] = Blend(pixel.blue, out[0], pixel.alpha);
      out[1] = Blend(pixel.green, out[1], pixel.alpha);
      out[2] = Blend(pixel.red, out[2], pixel.alpha);
    }
  }
}

}  // namespace sealrun::platform::imaging
