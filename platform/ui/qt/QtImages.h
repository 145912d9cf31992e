#pragma once
// Pictures between the imaging library and Qt: a decoded picture shown by a widget, and what a widget drew
// handed back as a picture.
#include <QImage>
#include <optional>

#include "platform/imaging/Image.h"

namespace sealrun::platform::ui::qt {

// ARGB: alpha from the alpha plane or the palette, and the transparent colour or index drawn transparent.
QImage ToQImage(const imaging::Image& image);
// A 24-bit picture with an alpha plane; nullopt for a null or oversized QImage.
std::optional<imaging::Image> FromQImage(const QImage& image);

}  // namespace sealrun::platform::ui::qt
