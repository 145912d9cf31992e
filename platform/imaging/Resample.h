#pragma once
// Bicubic resampling of pictures (the preview and scaled seal images).
#include <optional>

#include "platform/imaging/Image.h"

namespace sealrun::platform::imaging {

// The picture at width x height, 24 bits per pixel (an alpha plane when the source has alpha or palette
// alpha). Bicubic with the Catmull-Rom kernel (a = -0.5); samples outside the picture repeat its edge
// pixels. Pixel centres map onto pixel centres, so a uniform picture stays uniform. nullopt for a size
// below 1 or above the picture limit, or an empty source.
std::optional<Image> ResampleBicubic(const Image& source, int width, int height);

// The cubic convolution weight of a sample at distance t (a = -0.5).
double BicubicWeight(double t);

}  // namespace sealrun::platform::imaging
