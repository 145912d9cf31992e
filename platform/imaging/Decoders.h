#pragma once
// One decoder per format; each returns nullopt for data it cannot read.
#include <cstdint>
#include <optional>
#include <span>

#include "platform/imaging/Image.h"

namespace sealrun::platform::imaging::detail {

std::optional<Image> DecodePng(std::span<const uint8_t> bytes);
std::optional<Image> DecodeJpeg(std::span<const uint8_t> bytes);
std::optional<Image> DecodeGif(std::span<const uint8_t> bytes);
std::optional<Image> DecodeBmp(std::span<const uint8_t> bytes);

// A palette of `count` grays from black to white.
std::vector<PaletteEntry> GrayPalette(int count);

}  // namespace sealrun::platform::imaging::detail
