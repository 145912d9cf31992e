#pragma once
// Drawing one picture onto another, as a device context draws a picture with transparency.
#include <optional>

#include "platform/imaging/Image.h"

namespace sealrun::platform::imaging {

// A 24-bit canvas filled with one colour (no alpha plane); nullopt for a bad size.
std::optional<Image> MakeCanvas(int width, int height, Rgb fill);

// Draws source onto the 24-bit canvas with its top-left corner at (x, y) (y from the top), clipped to the
// canvas. Pixels of the transparent colour (or transparent palette index) are left out; other pixels are
// blended by their alpha (alpha plane or palette alpha). The canvas stays opaque.
void DrawImage(Image& canvas, const Image& source, int x, int y);

}  // namespace sealrun::platform::imaging
