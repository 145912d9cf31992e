// sealrun-reader [--screenshot PNG] [FILE...]: the desktop reader. With --screenshot the window is drawn once,
// saved as PNG and the program ends (for documentation and smoke tests).
#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include "apps/reader/ReaderWindow.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("sealrun-reader"));
  QStringList arguments = QApplication::arguments().mid(1);
  QString screenshot;
  if (arguments.size() >= 2 && arguments.front() == QStringLiteral("--screenshot")) {
    screenshot = arguments.at(1);
    arguments = arguments.mid(2);
  }
  sealrun::reader::ReaderWindow window;
  for (const QString& path : arguments) window.OpenFile(path);
  window.show();
  if (!screenshot.isEmpty()) {
    QTimer::singleShot(200, &window, [&] { QApplication::exit(window.grab().save(screenshot) ? 0 : 1); });
  }
  return QApplication::exec();
}
