#pragma once
// Puts a dialog in the middle of its owner (or leaves it where it is without one).
#include "platform/ui/Window.h"

namespace sealrun::verify {

inline void CentreOnOwner(platform::ui::Window& dialog, const platform::ui::Window* owner, int width, int height) {
  platform::ui::Rect bounds{0, 0, width, height};
  if (owner != nullptr) {
    const platform::ui::Rect& outer = owner->Bounds();
    bounds.left = outer.left + (outer.Width() - width) / 2;
    bounds.top = outer.top + (outer.Height() - height) / 2;
    bounds.right = bounds.left + width;
    bounds.bottom = bounds.top + height;
  }
  dialog.Move(bounds);
}

}  // namespace sealrun::verify
