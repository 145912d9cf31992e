// PNG through libpng's simplified interface, which reports errors as results (no longjmp reaches us).
#include <png.h>

#include <cstring>
#include <memory>

#include "platform/imaging/Decoders.h"
#include "platform/imaging/ImageCodec.h"

namespace sealrun::platform::imaging {
namespace {

// Frees libpng's state on every path.
struct PngImage {
  png_image image{};
  PngImage() { image.version = PNG_IMAGE_VERSION; }
  ~PngImage() { png_image_free(&image); }
  PngImage(const PngImage&) = delete;
  PngImage& operator=(const PngImage&) = delete;
};

std::optional<Image> ReadIndexed(PngImage& png) {
  png.image.format = PNG_FORMAT_RGBA_COLORMAP;
  const int width = static_cast<int>(png.image.width);
  const int height = static_cast<int>(png.image.height);
  auto image = Image::Create(width, height, 8);
  if (!image) return std::nullopt;
  std::vector<uint8_t> indices(PNG_IMAGE_SIZE(png.image));
  std::vector<uint8_t> colormap(PNG_IMAGE_COLORMAP_SIZE(png.image));
  if (!png_image_finish_read(&png.image, nullptr, indices.data(), 0, colormap.data())) return std::nullopt;

  std::vector<PaletteEntry> palette(256);
  int transparent = -1;
  int translucent = 0;
  for (unsigned i = 0; i < png.image.colormap_entries && i < 256; ++i) {
    const uint8_t* rgba = colormap.data() + 4 * i;
    palette[i] = {rgba[2], rgba[1], rgba[0], rgba[3]};
    if (rgba[3] == 0 && transparent < 0)
      transparent = static_cast<int>(i);
    else if (rgba[3] != 255)
      ++translucent;
  }
  // One fully transparent entry is a transparent index; any other alpha stays in the palette.
  if (translucent == 0 && transparent >= 0) {
    image->SetTransparentIndex(transparent);
  } else if (translucent > 0 || transparent >= 0) {
    image->SetPaletteHasAlpha(true);
  }
  for (auto& entry : palette)
    if (!image->PaletteHasAlpha()) entry.reserved = 0;
  image->SetPalette(std::move(palette));
  for (int y = 0; y < height; ++y)
    std::memcpy(image->RowFromTop(y), indices.data() + static_cast<size_t>(y) * width, static_cast<size_t>(width));
  return image;
}

std::optional<Image> ReadDirect(PngImage& png) {
  const bool color = (png.image.format & PNG_FORMAT_FLAG_COLOR) != 0;
  const bool alpha = (png.image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  const int width = static_cast<int>(png.image.width);
  const int height = static_cast<int>(png.image.height);
  if (!color && !alpha) {
    png.image.format = PNG_FORMAT_GRAY;
    auto image = Image::Create(width, height, 8);
    if (!image) return std::nullopt;
    std::vector<uint8_t> gray(PNG_IMAGE_SIZE(png.image));
    if (!png_image_finish_read(&png.image, nullptr, gray.data(), 0, nullptr)) return std::nullopt;
    image->SetPalette(detail::GrayPalette(256));
    for (int y = 0; y < height; ++y)
      std::memcpy(image->RowFromTop(y), gray.data() + static_cast<size_t>(y) * width, static_cast<size_t>(width));
    return image;
  }
  png.image.format = alpha ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
  auto image = Image::Create(width, height, 24);
  if (!image) return std::nullopt;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(png.image));
  if (!png_image_finish_read(&png.image, nullptr, pixels.data(), 0, nullptr)) return std::nullopt;
  const size_t channels = alpha ? 4 : 3;
  if (alpha) image->EnableAlpha();
  for (int y = 0; y < height; ++y) {
    const uint8_t* source = pixels.data() + static_cast<size_t>(y) * width * channels;
    uint8_t* target = image->RowFromTop(y);
    uint8_t* targetAlpha = alpha ? image->AlphaStoredRow(height - 1 - y) : nullptr;
    for (int x = 0; x < width; ++x, source += channels) {
      std::memcpy(target + 3 * static_cast<size_t>(x), source, 3);
      if (alpha) targetAlpha[x] = source[3];
    }
  }
  return image;
}

}  // namespace

namespace detail {

std::optional<Image> DecodePng(std::span<const uint8_t> bytes) {
  PngImage png;
  if (!png_image_begin_read_from_memory(&png.image, bytes.data(), bytes.size())) return std::nullopt;
  if (int64_t{png.image.width} * png.image.height > Image::kMaxPixels) return std::nullopt;
  if (png.image.format & PNG_FORMAT_FLAG_COLORMAP) return ReadIndexed(png);
  return ReadDirect(png);
}

}  // namespace detail

std::optional<std::string> EncodePng(const Image& image) {
  PngImage png;
  png.image.width = static_cast<png_uint_32>(image.Width());
  png.image.height = static_cast<png_uint_32>(image.Height());
  const int width = image.Width();
  const int height = image.Height();
  std::vector<uint8_t> pixels;
  std::vector<uint8_t> colormap;
  if (image.IsIndexed()) {
    png.image.format = PNG_FORMAT_RGBA_COLORMAP;
    const auto& palette = image.Palette();
    png.image.colormap_entries = static_cast<png_uint_32>(palette.size());
    colormap.resize(palette.size() * 4);
    for (size_t i = 0; i < palette.size(); ++i) {
      const bool clear = static_cast<int>(i) == image.TransparentIndex();
      const uint8_t alpha = image.PaletteHasAlpha() ? palette[i].reserved : (clear ? 0 : 255);
      const uint8_t entry[4] = {palette[i].red, palette[i].green, palette[i].blue, alpha};
      std::memcpy(colormap.data() + 4 * i, entry, 4);
    }
    pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) pixels[static_cast<size_t>(y) * width + x] = image.IndexAt(x, y);
  } else {
    const bool alpha = image.HasAlpha();
    png.image.format = alpha ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
    const size_t channels = alpha ? 4 : 3;
    pixels.resize(static_cast<size_t>(width) * height * channels);
    for (int y = 0; y < height; ++y) {
      const uint8_t* source = image.RowFromTop(y);
      uint8_t* target = pixels.data() + static_cast<size_t>(y) * width * channels;
      for (int x = 0; x < width; ++x, target += channels) {
        std::memcpy(target, source + 3 * static_cast<size_t>(x), 3);
        if (alpha) target[3] = image.AlphaStoredRow(height - 1 - y)[x];
      }
    }
  }
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&png.image, nullptr, &size, 0, pixels.data(), 0,
                                 colormap.empty() ? nullptr : colormap.data()))
    return std::nullopt;
  std::string out(size, '\0');
  if (!png_image_write_to_memory(&png.image, out.data(), &size, 0, pixels.data(), 0,
                                 colormap.empty() ? nullptr : colormap.data()))
    return std::nullopt;
  out.resize(size);
  return out;
}

}  // namespace sealrun::platform::imaging
