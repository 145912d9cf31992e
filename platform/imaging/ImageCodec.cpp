#include "platform/imaging/ImageCodec.h"

#include <new>

#include "platform/imaging/Decoders.h"

namespace sealrun::platform::imaging {

ImageFormat DetectFormat(std::span<const uint8_t> bytes) {
  auto startsWith = [bytes](std::initializer_list<uint8_t> magic) {
    return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), bytes.begin());
  };
  if (startsWith({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return ImageFormat::Png;
  if (startsWith({0xFF, 0xD8, 0xFF})) return ImageFormat::Jpeg;
  if (startsWith({'G', 'I', 'F', '8', '7', 'a'}) || startsWith({'G', 'I', 'F', '8', '9', 'a'})) return ImageFormat::Gif;
  if (startsWith({'B', 'M'}) && bytes.size() >= 26) return ImageFormat::Bmp;
  return ImageFormat::Unknown;
}

std::optional<Image> DecodeImage(std::span<const uint8_t> bytes) {
  try {
    std::optional<Image> image;
    const ImageFormat format = DetectFormat(bytes);
    switch (format) {
      case ImageFormat::Png:
        image = detail::DecodePng(bytes);
        break;
      case ImageFormat::Jpeg:
        image = detail::DecodeJpeg(bytes);
        break;
      case ImageFormat::Gif:
        image = detail::DecodeGif(bytes);
        break;
      case ImageFormat::Bmp:
        image = detail::DecodeBmp(bytes);
        break;
      case ImageFormat::Unknown:
        break;
    }
    if (image) image->SetSourceFormat(format);
    return image;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

namespace detail {

std::vector<PaletteEntry> GrayPalette(int count) {
  std::vector<PaletteEntry> palette(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const auto level = static_cast<uint8_t>(count == 1 ? 0 : i * 255 / (count - 1));
    palette[static_cast<size_t>(i)] = {level, level, level, 255};
  }
  return palette;
}

}  // namespace detail
}  // namespace sealrun::platform::imaging
