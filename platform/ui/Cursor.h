#pragma once
// Cursors made from pictures, and the current cursor.
#include <memory>
#include <vector>

#include "platform/imaging/Image.h"

namespace sealrun::platform::ui {

// An icon-style cursor: a colour picture whose transparent pixels are black, a mask with those pixels
// set, and the hot spot at the picture's centre.
struct Cursor {
  imaging::Image colour;
  std::vector<uint8_t> mask;  // one byte per pixel, rows from the top; 1 = transparent
  int hotSpotX = 0;
  int hotSpotY = 0;
  int Width() const { return colour.Width(); }
  int Height() const { return colour.Height(); }
  bool IsTransparent(int x, int yFromTop) const { return mask[static_cast<size_t>(yFromTop) * Width() + x] != 0; }
};

// The cursor for a picture at its full size, with `transparent` as the key colour.
std::shared_ptr<const Cursor> CreateCursorFromImage(const imaging::Image& image, imaging::Rgb transparent);

void SetCursor(std::shared_ptr<const Cursor> cursor);
std::shared_ptr<const Cursor> CurrentCursor();

}  // namespace sealrun::platform::ui
