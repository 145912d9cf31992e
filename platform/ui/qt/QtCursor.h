#pragma once
// The window system's cursors as Qt cursors, for programs that show them (this header is Qt's side).
#include <QCursor>

#include "platform/ui/Cursor.h"

namespace sealrun::platform::ui {

// The picture with its transparent pixels clear and the hot spot kept.
QCursor ToQCursor(const Cursor& cursor);

}  // namespace sealrun::platform::ui
