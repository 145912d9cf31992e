#pragma once
// A decoded seal picture as the engine takes it: pixel rows top row first, a colour space, a palette for
// indexed pictures, and its transparency as a soft mask or a colour key.
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/imaging/Image.h"

namespace sealrun::signing {

// The engine's colour-space codes (QP_COLORSPACE_*).
enum class StampColorSpace { Gray = 1, Rgb = 3, Indexed = 5 };

struct StampPixels {
  int width = 0;
  int height = 0;
  int bitsPerComponent = 8;
  StampColorSpace colorSpace = StampColorSpace::Rgb;
  std::vector<uint8_t> bytes;        // rows top first, each padded to a whole byte
  std::vector<uint8_t> paletteRgb;   // indexed: RGB triples
  std::vector<uint8_t> softMask;     // width x height gray bytes (0 transparent), empty when none
  std::optional<std::array<int, 6>> colorKey;  // min/max per component of the transparent colour
};

// The picture's pixels and transparency for the engine. The palette alpha or alpha plane becomes the
// soft mask; without alpha, a transparent palette index becomes a soft mask and a transparent colour
// of a true-colour picture a colour key.
StampPixels ConvertPicture(const platform::imaging::Image& picture);

}  // namespace sealrun::signing
