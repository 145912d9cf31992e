#include "signing/StampImage.h"

#include <algorithm>
#include <cstring>

#include "platform/imaging/ImageCodec.h"
#include "signing/SealStamp.h"

namespace sealrun::signing {

namespace imaging = platform::imaging;

namespace {

using external::ImageHandle;

// An 8-bit palette that maps every index onto the same gray is plain gray data (grayscale PNG and JPEG
// decode that way); handing it over as gray keeps the engine's image small and simple.
bool IsIdentityGrayRamp(const imaging::Image& picture) {
  const auto& palette = picture.Palette();
  if (palette.size() != 256 || picture.PaletteHasAlpha()) return false;
  for (size_t i = 0; i < palette.size(); ++i)
    if (palette[i].red != i || palette[i].green != i || palette[i].blue != i) return false;
  return true;
}

std::vector<uint8_t> PaletteTriples(const imaging::Image& picture) {
  std::vector<uint8_t> rgb;
  const size_t entries = std::min<size_t>(picture.Palette().size(), 256);
  rgb.reserve(entries * 3);
  for (size_t i = 0; i < entries; ++i) {
    const auto& entry = picture.Palette()[i];
    rgb.insert(rgb.end(), {entry.red, entry.green, entry.blue});
  }
  return rgb;
}

// Alpha of every pixel (top row first) from the palette's reserved bytes.
std::vector<uint8_t> PaletteAlphaMask(const imaging::Image& picture) {
  std::vector<uint8_t> mask(static_cast<size_t>(picture.Width()) * picture.Height());
  const auto& palette = picture.Palette();
  size_t at = 0;
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x) {
      const uint8_t index = picture.IndexAt(x, y);
      mask[at++] = index < palette.size() ? palette[index].reserved : 255;
    }
  return mask;
}

// 0 where the pixel is the transparent palette index, 255 elsewhere.
std::vector<uint8_t> TransparentIndexMask(const imaging::Image& picture) {
  std::vector<uint8_t> mask(static_cast<size_t>(picture.Width()) * picture.Height());
  const int transparent = picture.TransparentIndex();
  size_t at = 0;
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x) mask[at++] = picture.IndexAt(x, y) == transparent ? 0 : 255;
  return mask;
}

void ConvertIndexedRows(const imaging::Image& picture, StampPixels& out) {
  const size_t rowBytes =
      picture.BitsPerPixel() == 1 ? (static_cast<size_t>(picture.Width()) + 7) / 8 : static_cast<size_t>(picture.Width());
  out.bitsPerComponent = picture.BitsPerPixel();
  out.bytes.resize(rowBytes * picture.Height());
  for (int y = 0; y < picture.Height(); ++y)
    std::memcpy(out.bytes.data() + rowBytes * y, picture.RowFromTop(y), rowBytes);
  if (picture.Palette().empty()) {
    out.colorSpace = StampColorSpace::Gray;
  } else if (picture.BitsPerPixel() == 8 && IsIdentityGrayRamp(picture)) {
    out.colorSpace = StampColorSpace::Gray;
  } else {
    out.colorSpace = StampColorSpace::Indexed;
    out.paletteRgb = PaletteTriples(picture);
  }
}

void ConvertTrueColorRows(const imaging::Image& picture, StampPixels& out) {
  const size_t width = static_cast<size_t>(picture.Width());
  out.bitsPerComponent = 8;
  out.colorSpace = StampColorSpace::Rgb;
  out.bytes.resize(width * 3 * picture.Height());
  uint8_t* to = out.bytes.data();
  for (int y = 0; y < picture.Height(); ++y) {
    if (picture.BitsPerPixel() == 24) {
      const uint8_t* from = picture.RowFromTop(y);  // blue, green, red
      for (size_t x = 0; x < width; ++x, from += 3, to += 3) {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
      }
    } else {
      for (int x = 0; x < picture.Width(); ++x, to += 3) {
        const imaging::Rgba pixel = picture.PixelAt(x, y);
        to[0] = pixel.red;
        to[1] = pixel.green;
        to[2] = pixel.blue;
      }
    }
  }
  if (picture.HasAlpha()) {
    out.softMask.resize(width * picture.Height());
    for (int y = 0; y < picture.Height(); ++y)
      std::memcpy(out.softMask.data() + width * y, picture.AlphaStoredRow(picture.Height() - 1 - y), width);
  }
}

}  // namespace

StampPixels ConvertPicture(const imaging::Image& picture) {
  StampPixels out;
  out.width = picture.Width();
  out.height = picture.Height();
  const int depth = picture.BitsPerPixel();
  if (depth == 8 || depth == 1) {
    ConvertIndexedRows(picture, out);
  } else {
    ConvertTrueColorRows(picture, out);
  }
  if (out.softMask.empty() && picture.IsIndexed() && picture.PaletteHasAlpha()) out.softMask = PaletteAlphaMask(picture);
  if (!out.softMask.empty()) return out;

  if (picture.IsIndexed() && picture.TransparentIndex() >= 0) {
    out.softMask = TransparentIndexMask(picture);
  } else if (const auto color = picture.TransparentColor()) {
    out.colorKey = std::array<int, 6>{color->red, color->red, color->green, color->green, color->blue, color->blue};
  }
  return out;
}

ImageHandle MakeImageHandle(std::span<const std::uint8_t> imageBytes, qp_document document) {
  const auto picture = imaging::DecodeImage(imageBytes);
  if (!picture || picture->Width() <= 0 || picture->Height() <= 0) return nullptr;
  // JPEG data goes in as it is: decoding and recompressing it would only lose quality.
  if (picture->SourceFormat() == imaging::ImageFormat::Jpeg)
    return ImageHandle(qp_image_create_from_raw_data(document, 0, imageBytes.data(), imageBytes.size()));

  const StampPixels pixels = ConvertPicture(*picture);
  ImageHandle image(qp_image_create_from_data(document, pixels.width, pixels.height, pixels.bitsPerComponent,
                                              static_cast<int>(pixels.colorSpace), pixels.bytes.data(),
                                              pixels.bytes.size()));
  if (!image) return nullptr;
  if (pixels.colorSpace == StampColorSpace::Indexed &&
      qp_image_set_palette(image.get(), pixels.paletteRgb.data(), static_cast<int>(pixels.paletteRgb.size() / 3)) != QP_OK)
    return nullptr;
  if (!pixels.softMask.empty()) {
    const ImageHandle mask(qp_image_create_from_data(document, pixels.width, pixels.height, 8,
                                                     static_cast<int>(StampColorSpace::Gray), pixels.softMask.data(),
                                                     pixels.softMask.size()));
    if (!mask || qp_image_set_soft_mask(image.get(), mask.get()) != QP_OK) return nullptr;
  } else if (pixels.colorKey) {
    if (qp_image_set_mask_key(image.get(), pixels.colorKey->data(), 6) != QP_OK) return nullptr;
  }
  return image;
}

}  // namespace sealrun::signing
