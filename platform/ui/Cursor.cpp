#include "platform/ui/Cursor.h"

namespace sealrun::platform::ui {
namespace {

std::shared_ptr<const Cursor>& CurrentSlot() {
  static std::shared_ptr<const Cursor> current;
  return current;
}

}  // namespace

std::shared_ptr<const Cursor> CreateCursorFromImage(const imaging::Image& image, imaging::Rgb transparent) {
  imaging::Image colour = image.ToTrueColor();
  colour.DropAlpha();
  std::vector<uint8_t> mask(static_cast<size_t>(colour.Width()) * colour.Height(), 0);
  for (int y = 0; y < colour.Height(); ++y)
    for (int x = 0; x < colour.Width(); ++x) {
      const imaging::Rgba pixel = colour.PixelAt(x, y);
      if (imaging::Rgb{pixel.red, pixel.green, pixel.blue} == transparent) {
        mask[static_cast<size_t>(y) * colour.Width() + x] = 1;
        colour.SetPixel(x, y, {0, 0, 0, 255});
      }
    }
  const int hotX = colour.Width() / 2;
  const int hotY = colour.Height() / 2;
  return std::make_shared<const Cursor>(Cursor{std::move(colour), std::move(mask), hotX, hotY});
}

void SetCursor(std::shared_ptr<const Cursor> cursor) { CurrentSlot() = std::move(cursor); }

std::shared_ptr<const Cursor> CurrentCursor() { return CurrentSlot(); }

}  // namespace sealrun::platform::ui
