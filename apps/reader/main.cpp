// sealrun-reader [--screenshot PNG] [FILE...]: the desktop reader with the add-in loaded. With --screenshot
// the window is drawn once its pages are, saved as PNG, a line saying what the window holds is printed, and
// the program ends (for documentation and smoke tests).
#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <QToolBar>
#include <cstdio>

#include "apps/reader/CommandBars.h"
#include "apps/reader/DocumentView.h"
#include "apps/reader/ReaderWindow.h"

namespace {

// "sealrun-reader: 1 document(s), add-in loaded, toolbars: NAME"
void PrintSummary(sealrun::reader::ReaderWindow& window) {
  QString toolbars;
  for (const QToolBar* toolbar : window.Commands().Toolbars())
    toolbars += (toolbars.isEmpty() ? QString() : QStringLiteral(", ")) + toolbar->windowTitle();
  const QString state = window.HostProblem().isEmpty() ? QStringLiteral("add-in loaded") : window.HostProblem();
  std::printf("sealrun-reader: %d document(s), %s, toolbars: %s\n", window.DocumentCount(), state.toUtf8().constData(),
              toolbars.toUtf8().constData());
  std::fflush(stdout);
}

}  // namespace

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
    // Pages are drawn off the window's thread: wait for the first page of the document in view (at most 10 s).
    auto* poll = new QTimer(&window);  // owned by the window
    int waited = 0;
    QObject::connect(poll, &QTimer::timeout, &window, [&, poll] {
      sealrun::reader::DocumentView* view = window.CurrentView();
      if ((view != nullptr && !view->IsPageDrawn(0)) && (waited += 50) < 10000) return;
      poll->stop();
      PrintSummary(window);
      QApplication::exit(window.grab().save(screenshot) ? 0 : 1);
    });
    poll->start(50);
  }
  return QApplication::exec();
}
