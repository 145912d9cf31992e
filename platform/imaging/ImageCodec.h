#pragma once
// Decoding pictures from memory with the format found in the data, and encoding them.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/imaging/Image.h"

namespace sealrun::platform::imaging {

ImageFormat DetectFormat(std::span<const uint8_t> bytes);

// The picture, or nullopt when the bytes are not a picture of a known format or are damaged.
// PNG, JPEG and GIF (its first frame) go through their libraries; BMP is read here.
std::optional<Image> DecodeImage(std::span<const uint8_t> bytes);

// PNG bytes of the picture: indexed pictures keep their palette (with alpha or the transparent index as
// tRNS), true-colour ones are RGB or RGBA. nullopt on failure.
std::optional<std::string> EncodePng(const Image& image);
// JPEG bytes at the given quality (1-100); alpha is dropped.
std::optional<std::string> EncodeJpeg(const Image& image, int quality);

}  // namespace sealrun::platform::imaging
