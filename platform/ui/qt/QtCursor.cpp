#include "platform/ui/qt/QtCursor.h"

#include <QImage>
#include <QPixmap>

namespace sealrun::platform::ui {

QCursor ToQCursor(const Cursor& cursor) {
  QImage picture(cursor.Width(), cursor.Height(), QImage::Format_ARGB32);
  if (picture.isNull() || cursor.mask.size() < static_cast<size_t>(cursor.Width()) * cursor.Height())
    return QCursor(Qt::ArrowCursor);
  for (int y = 0; y < cursor.Height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
    for (int x = 0; x < cursor.Width(); ++x) {
      const imaging::Rgba pixel = cursor.colour.PixelAt(x, y);
      line[x] = cursor.IsTransparent(x, y) ? qRgba(0, 0, 0, 0) : qRgb(pixel.red, pixel.green, pixel.blue);
    }
  }
  return QCursor(QPixmap::fromImage(picture), cursor.hotSpotX, cursor.hotSpotY);
}

}  // namespace sealrun::platform::ui
