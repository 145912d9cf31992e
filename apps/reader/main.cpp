// sealrun-reader [--screenshot PNG] [FILE...]: the desktop reader with the add-in loaded. With --screenshot
// the window is drawn once its pages are, saved as PNG, a line saying what the window holds is printed, and
// the program ends (for documentation and smoke tests).
#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <QToolBar>
#include <cstdio>
#include <string_view>

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

constexpr char kUsage[] =
    "usage: sealrun-reader [--screenshot PNG] [FILE...]\n"
    "\n"
    "The desktop reader with the Sealrun add-in loaded: each FILE opens in a tab, and the add-in's toolbar\n"
    "(批量签章, 签章验证, 批量撤章), its batch pane and its dialogs are real windows. The add-in is registered\n"
    "for the current user on first use, as sealrun does. Needs a graphical session (DISPLAY or\n"
    "WAYLAND_DISPLAY); Qt's own options (such as -platform offscreen) are accepted too.\n"
    "\n"
    "  --screenshot PNG  once the first page is drawn, save the window as PNG, print a line saying what\n"
    "                    the window holds and exit\n"
    "  --help            print this text and exit\n"
    "\n"
    "examples:\n"
    "  sealrun-reader contract.pdf invoice.pdf\n"
    "  sealrun-reader --screenshot window.png contract.pdf\n";

// Asked before Qt starts, so that the text needs no display.
bool WantsHelp(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (WantsHelp(argc, argv)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
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
    // The time waited lives in the handler: this block ends before the event loop runs it.
    QObject::connect(poll, &QTimer::timeout, &window, [&window, &screenshot, poll, waited = 0]() mutable {
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
