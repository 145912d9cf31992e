#include "addin/Resources.h"

#include "platform/imaging/ImageCodec.h"

namespace sealrun::addin {

using platform::imaging::Image;

std::span<const unsigned char> FindResource(int id) {
  for (const ResourceEntry& entry : ResourceTable())
    if (entry.id == id) return entry.bytes;
  return {};
}

std::optional<Image> LoadImageResource(int id) {
  const auto bytes = FindResource(id);
  if (bytes.empty()) return std::nullopt;
  return platform::imaging::DecodeImage(std::span<const uint8_t>(bytes.data(), bytes.size()));
}

std::optional<Image> LoadButtonImage(int id) {
  auto image = LoadImageResource(id);
  if (!image || !image->HasAlpha()) return image;
  if (image->BitsPerPixel() != 24) *image = image->ToTrueColor();
  for (int y = 0; y < image->Height(); ++y)
    for (int x = 0; x < image->Width(); ++x)
      if (image->PixelAt(x, y).alpha == 0) image->SetPixel(x, y, {255, 0, 255, 0});
  return image;
}

}  // namespace sealrun::addin
