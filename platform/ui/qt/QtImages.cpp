#include "platform/ui/qt/QtImages.h"

namespace sealrun::platform::ui::qt {

QImage ToQImage(const imaging::Image& image) {
  QImage result(image.Width(), image.Height(), QImage::Format_ARGB32);
  if (result.isNull()) return result;
  const std::optional<imaging::Rgb> transparent = image.TransparentColor();
  const int transparentIndex = image.IsIndexed() ? image.TransparentIndex() : -1;
  for (int y = 0; y < image.Height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
    for (int x = 0; x < image.Width(); ++x) {
      const imaging::Rgba pixel = image.PixelAt(x, y);
      bool clear = pixel.alpha == 0;
      if (transparentIndex >= 0)
        clear = clear || image.IndexAt(x, y) == transparentIndex;
      else if (transparent)
        clear = clear || imaging::Rgb{pixel.red, pixel.green, pixel.blue} == *transparent;
      line[x] = clear ? qRgba(0, 0, 0, 0) : qRgba(pixel.red, pixel.green, pixel.blue, pixel.alpha);
    }
  }
  return result;
}

std::optional<imaging::Image> FromQImage(const QImage& image) {
  if (image.isNull()) return std::nullopt;
  auto result = imaging::Image::Create(image.width(), image.height(), 24);
  if (!result) return std::nullopt;
  result->EnableAlpha();
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < argb.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    for (int x = 0; x < argb.width(); ++x) {
      const QRgb pixel = line[x];
      result->SetPixel(x, y,
                       {static_cast<uint8_t>(qRed(pixel)), static_cast<uint8_t>(qGreen(pixel)),
                        static_cast<uint8_t>(qBlue(pixel)), static_cast<uint8_t>(qAlpha(pixel))});
    }
  }
  return result;
}

}  // namespace sealrun::platform::ui::qt
