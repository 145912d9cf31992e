#include "apps/reader/ReaderWindow.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>

#include "apps/reader/DocumentView.h"

namespace sealrun::reader {

ReaderWindow::ReaderWindow(QWidget* parent) : QMainWindow(parent), tabs_(new QTabWidget(this)) {
  setWindowTitle(tr("Sealrun Reader"));
  tabs_->setTabsClosable(true);
  tabs_->setDocumentMode(true);
  connect(tabs_, &QTabWidget::tabCloseRequested, this, [this](int index) {
    QWidget* view = tabs_->widget(index);
    tabs_->removeTab(index);
    view->deleteLater();
  });
  setCentralWidget(tabs_);

  QMenu* file = menuBar()->addMenu(tr("&File"));
  QAction* open = file->addAction(tr("&Open..."), this, &ReaderWindow::AskAndOpen);
  open->setShortcut(QKeySequence::Open);
  file->addAction(tr("E&xit"), this, &QWidget::close);

  QMenu* view = menuBar()->addMenu(tr("&View"));
  QToolBar* tools = addToolBar(tr("View"));
  auto addViewAction = [&](const QString& text, const QKeySequence& key, auto&& act) {
    QAction* action = view->addAction(text);
    action->setShortcut(key);
    tools->addAction(action);
    connect(action, &QAction::triggered, this, [this, act] {
      if (DocumentView* current = CurrentView()) act(*current);
    });
  };
  addViewAction(tr("Zoom in"), QKeySequence::ZoomIn, [](DocumentView& v) { v.SetZoom(v.Zoom() * 1.25); });
  addViewAction(tr("Zoom out"), QKeySequence::ZoomOut, [](DocumentView& v) { v.SetZoom(v.Zoom() / 1.25); });
  addViewAction(tr("Rotate clockwise"), QKeySequence(Qt::CTRL | Qt::Key_R), [](DocumentView& v) { v.Turn(1); });
  addViewAction(tr("Rotate counterclockwise"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R),
                [](DocumentView& v) { v.Turn(-1); });
  resize(900, 1000);
}

bool ReaderWindow::OpenFile(const QString& path) {
  QString problem;
  std::unique_ptr<DocumentView> opened = DocumentView::Open(path, &problem);
  if (!opened) {
    const QString message = tr("%1: %2").arg(path, problem);
    statusBar()->showMessage(message);
    QMessageBox::warning(this, windowTitle(), message);
    return false;
  }
  DocumentView* view = opened.release();  // owned by the tab widget once added
  tabs_->setCurrentIndex(tabs_->addTab(view, QFileInfo(path).fileName()));
  statusBar()->showMessage(tr("%1: %n page(s)", nullptr, view->PageCount()).arg(path));
  return true;
}

DocumentView* ReaderWindow::CurrentView() const { return qobject_cast<DocumentView*>(tabs_->currentWidget()); }

int ReaderWindow::DocumentCount() const { return tabs_->count(); }

void ReaderWindow::AskAndOpen() {
  const QStringList paths = QFileDialog::getOpenFileNames(this, tr("Open PDF files"), QString(), tr("PDF files (*.pdf)"));
  for (const QString& path : paths) OpenFile(path);
}

}  // namespace sealrun::reader
