#include "apps/reader/ReaderWindow.h"

#include <QAction>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include "apps/reader/CommandBars.h"
#include "apps/reader/DocumentView.h"
#include "apps/reader/PaneDock.h"
#include "apps/reader/PageImages.h"
#include "apps/reader/SealList.h"
#include "platform/fs/Paths.h"
#include "platform/host/DocumentObjects.h"
#include "platform/ui/Backend.h"
#include "platform/ui/Cursor.h"
#include "platform/ui/qt/QtBackend.h"
#include "platform/ui/qt/QtCursor.h"
#include "platform/ui/ListView.h"
#include "workbench/ResultLog.h"

namespace sealrun::reader {

namespace fs = std::filesystem;
namespace host = platform::host;
namespace ui = platform::ui;

namespace {

QString Text(const std::u16string& text) { return QString::fromStdU16String(text); }
QString Native(const fs::path& path) { return QString::fromStdString(path.string()); }

// How often the window delivers messages queued for the add-in's windows.
constexpr int kPumpMilliseconds = 20;
// The docks' widths when they first show, in pixels.
constexpr int kPaneWidth = 430;
constexpr int kSealListWidth = 300;

struct FileStamp {
  fs::file_time_type written;
  uintmax_t size = 0;
};

std::optional<FileStamp> StampOf(const fs::path& file) {
  std::error_code error;
  const auto written = fs::last_write_time(file, error);
  if (error) return std::nullopt;
  const auto size = fs::file_size(file, error);
  if (error) return std::nullopt;
  return FileStamp{written, size};
}

// The page sizes of a file read without the host (a reader whose add-in did not load).
std::optional<std::vector<host::Point>> FilePageSizes(const QString& path, QString& problem) {
  const PageImages pages(path);
  if (!pages.Opened()) {
    problem = pages.Problem();
    return std::nullopt;
  }
  return pages.PageSizes();
}

}  // namespace

fs::path DocumentPath(const QString& path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(fs::path(path.toStdString()), error);
  return (error ? fs::path(path.toStdString()) : absolute).lexically_normal();
}

ReaderWindow::ReaderWindow(QWidget* parent) : ReaderWindow(Options{}, parent) {}

ReaderWindow::ReaderWindow(Options options, QWidget* parent)
    : QMainWindow(parent), options_(options), tabs_(new QTabWidget(this)) {
  setWindowTitle(tr("Sealrun Reader"));
  setAcceptDrops(true);
  tabs_->setTabsClosable(true);
  tabs_->setDocumentMode(true);
  connect(tabs_, &QTabWidget::tabCloseRequested, this, &ReaderWindow::CloseTab);
  connect(tabs_, &QTabWidget::currentChanged, this, &ReaderWindow::OnTabChanged);
  setCentralWidget(tabs_);
  commands_ = new CommandBars(*this, [this](long id) { ClickCommand(id); });  // owned by the window

  auto* sealDock = new QDockWidget(tr("Seals"), this);  // owned by the window
  sealDock->setObjectName(QStringLiteral("seal-dock"));
  seals_ = new SealList(sealDock);
  sealDock->setWidget(seals_);
  addDockWidget(Qt::RightDockWidgetArea, sealDock);
  resizeDocks({sealDock}, {kSealListWidth}, Qt::Horizontal);

  BuildMenus();
  resize(1280, 900);

  if (options_.withHost) {
    // Dialogs, message boxes and file dialogs of the add-in become this window's children; notices go to the
    // status line.
    backend_ = std::make_unique<ui::ScopedBackend>(std::make_unique<ui::QtBackend>(ui::QtBackendOptions{
        [this](const std::u16string& text) { statusBar()->showMessage(Text(text)); }, options_.nativeFileDialogs}));
    if (auto problem = host_.Start()) {
      hostProblem_ = tr("The add-in is not loaded: %1").arg(QString::fromStdString(*problem));
      statusBar()->showMessage(hostProblem_);
    } else if (!host_.StartNotes().empty()) {
      statusBar()->showMessage(QString::fromStdString(host_.StartNotes().front()));
    }
  }
  pump_ = new QTimer(this);  // owned by the window
  connect(pump_, &QTimer::timeout, this, [this] {
    if (ui::PendingMessageCount() == 0) return;
    while (ui::PumpOneMessage()) {
    }
    AfterHostAction();
  });
  pump_->start(kPumpMilliseconds);
  AfterHostAction();
}

ReaderWindow::~ReaderWindow() {
  // Qt deletes the child widgets after this window's members (the host among them) are gone: removing the
  // tabs then must not call back into the window.
  pump_->stop();
  tabs_->disconnect(this);
}

void ReaderWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  QAction* open = file->addAction(tr("&Open..."), this, &ReaderWindow::AskAndOpen);
  open->setShortcut(QKeySequence::Open);
  QAction* reload = file->addAction(tr("&Reload"), this, &ReaderWindow::ReloadCurrent);
  reload->setShortcut(QKeySequence::Refresh);
  QAction* close = file->addAction(tr("&Close"), this, [this] {
    if (tabs_->currentIndex() >= 0) CloseTab(tabs_->currentIndex());
  });
  close->setShortcut(QKeySequence::Close);
  file->addAction(tr("E&xit"), this, &QWidget::close);

  QMenu* view = menuBar()->addMenu(tr("&View"));
  QToolBar* tools = addToolBar(tr("View"));
  tools->setObjectName(QStringLiteral("view-tools"));
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
  addViewAction(tr("Previous page"), QKeySequence(Qt::CTRL | Qt::Key_Up),
                [](DocumentView& v) { v.ScrollToPage(std::max(0, v.CurrentPage() - 1)); });
  addViewAction(tr("Next page"), QKeySequence(Qt::CTRL | Qt::Key_Down),
                [](DocumentView& v) { v.ScrollToPage(std::min(v.PageCount() - 1, v.CurrentPage() + 1)); });
}

bool ReaderWindow::OpenFile(const QString& path) {
  const fs::path file = DocumentPath(path);
  if (const auto found = shown_.find(file); found != shown_.end()) {
    tabs_->setCurrentWidget(found->second.view);
    return true;
  }
  std::optional<std::vector<host::Point>> sizes;
  QString problem;
  if (host_.IsRunning()) {
    std::string reason;
    sizes = host_.Open(file, reason);
    problem = QString::fromStdString(reason);
  } else {
    sizes = FilePageSizes(Native(file), problem);
  }
  if (!sizes) {
    const QString message = tr("%1: %2").arg(path, problem);
    statusBar()->showMessage(message);
    QMessageBox::warning(this, windowTitle(), message);
    return false;
  }
  DocumentView* view = AddView(file, std::move(*sizes));
  tabs_->setCurrentWidget(view);
  statusBar()->showMessage(tr("%1: %n page(s)", nullptr, view->PageCount()).arg(Native(file)));
  AfterHostAction();
  return true;
}

DocumentView* ReaderWindow::AddView(const fs::path& file, std::vector<host::Point> sizes) {
  auto* view = new DocumentView(Native(file), std::move(sizes));  // owned by the tab widget once added
  Shown& shown = shown_[file];
  shown.view = view;
  if (const auto stamp = StampOf(file)) {
    shown.written = stamp->written;
    shown.size = stamp->size;
  }
  if (const auto document = host_.Document(file)) shown.redraws = document->redrawCount;
  connect(view, &DocumentView::PagePressed, this,
          [this, view](QPoint pixel, Qt::MouseButton button) { OnPagePressed(view, pixel, button); });
  connect(view, &DocumentView::PointerMoved, this, [this, view](QPoint pixel) { OnPointerMoved(view, pixel); });
  // The first tab becomes the current one as it is added (OnTabChanged shows its seals).
  const int index = tabs_->addTab(view, QString::fromStdString(file.filename().string()));
  tabs_->setTabToolTip(index, Native(file));
  return view;
}

DocumentView* ReaderWindow::CurrentView() const { return qobject_cast<DocumentView*>(tabs_->currentWidget()); }

DocumentView* ReaderWindow::ViewOf(const QString& path) const {
  const auto found = shown_.find(DocumentPath(path));
  return found != shown_.end() ? found->second.view : nullptr;
}

int ReaderWindow::DocumentCount() const { return tabs_->count(); }

PaneDock* ReaderWindow::Pane(const QString& name) const {
  const auto found = panes_.find(name);
  return found != panes_.end() ? found->second : nullptr;
}

fs::path ReaderWindow::PathOf(const DocumentView* view) const {
  for (const auto& [file, shown] : shown_)
    if (shown.view == view) return file;
  return {};
}

void ReaderWindow::AskAndOpen() {
  const QStringList paths = QFileDialog::getOpenFileNames(this, tr("Open PDF files"), QString(), tr("PDF files (*.pdf)"));
  for (const QString& path : paths) OpenFile(path);
}

void ReaderWindow::ReloadCurrent() {
  const fs::path file = PathOf(CurrentView());
  if (const auto found = shown_.find(file); found != shown_.end()) Reload(found->second);
}

void ReaderWindow::CloseTab(int index) {
  auto* view = qobject_cast<DocumentView*>(tabs_->widget(index));
  if (view == nullptr) return;
  const fs::path file = PathOf(view);
  shown_.erase(file);
  tabs_->removeTab(index);
  view->deleteLater();
  host_.Close(file);
  AfterHostAction();
}

void ReaderWindow::OnTabChanged(int) {
  if (syncing_) return;
  const fs::path file = PathOf(CurrentView());
  if (file.empty()) return;
  host_.Activate(file);
  ShowSealsOf(file);
  AfterHostAction();
}

void ReaderWindow::SyncHostView(DocumentView* view) {
  host::HostDriver& driver = host_.Driver();
  host_.Activate(PathOf(view));
  driver.SetZoom(view->Zoom());
  driver.SetViewRotation(view->Rotation());
  const QPoint scroll = view->ScrollOffset();
  driver.SetScroll({static_cast<double>(scroll.x()), static_cast<double>(scroll.y())});
}

void ReaderWindow::OnPagePressed(DocumentView* view, QPoint pixel, Qt::MouseButton button) {
  if (!host_.IsRunning()) return;
  SyncHostView(view);
  const host::Point at{static_cast<double>(pixel.x()), static_cast<double>(pixel.y())};
  host::HostDriver& driver = host_.Driver();
  if (button == Qt::RightButton) {
    driver.RightClickPixel(at);
    ShowHostPopup();
  } else if (button == Qt::LeftButton) {
    driver.ClickPixel(at);
  }
  AfterHostAction();
}

void ReaderWindow::OnPointerMoved(DocumentView* view, QPoint pixel) {
  if (!host_.IsRunning()) return;
  SyncHostView(view);
  const host::PointerResult result =
      host_.Driver().CursorAtPixel({static_cast<double>(pixel.x()), static_cast<double>(pixel.y())});
  ApplyCursor(view, result.handled);
}

void ReaderWindow::ApplyCursor(DocumentView* view, bool handled) {
  const std::shared_ptr<const ui::Cursor> cursor = handled ? ui::CurrentCursor() : nullptr;
  if (!cursor) {
    cursorShown_.reset();
    view->viewport()->unsetCursor();
    return;
  }
  if (cursor == cursorShown_) return;
  cursorShown_ = cursor;
  view->viewport()->setCursor(ui::ToQCursor(*cursor));
}

void ReaderWindow::ClickCommand(long id) {
  if (!host_.IsRunning()) return;
  if (DocumentView* view = CurrentView()) SyncHostView(view);
  host_.Driver().ClickControl(static_cast<platform::com::LONG>(id));
  ShowHostPopup();
  AfterHostAction();
}

void ReaderWindow::ShowHostPopup() {
  host::HostDriver& driver = host_.Driver();
  const auto& popup = driver.Popup();
  if (!popup || !popup->bar) return;
  const long chosen = CommandBars::ShowPopup(*popup->bar.Get(), driver.Host().State(), this);
  if (chosen < 0) {
    driver.DismissPopup();
  } else {
    driver.ClickPopupItem(static_cast<platform::com::LONG>(chosen));
  }
}

void ReaderWindow::AfterHostAction() {
  if (!host_.IsRunning() || syncing_) return;
  syncing_ = true;
  commands_->Refresh(host_.Driver().Host().State());
  SyncPanes();
  SyncDocuments();
  RedrawChangedPages();
  ReloadChangedFiles();
  syncing_ = false;
}

void ReaderWindow::SyncPanes() {
  for (const auto& pane : host_.Driver().Host().State().panes) {
    if (!pane) continue;
    const QString name = Text(pane->Name());
    PaneDock* dock = Pane(name);
    if (dock == nullptr) {
      if (pane->ControlWindow() == 0) continue;
      const QString caption = pane->Caption().empty() ? name : Text(pane->Caption());
      dock = new PaneDock(caption, pane->ControlWindow(), [this] { AfterHostAction(); }, this);  // owned by the window
      dock->setObjectName(QStringLiteral("pane-") + name);
      connect(dock, &PaneDock::RowSelected, this, [this, dock](int row) { OnPaneRowSelected(dock, row); });
      addDockWidget(Qt::LeftDockWidgetArea, dock);
      // Wide enough for the list's three columns (name, path, remark).
      resizeDocks({dock}, {kPaneWidth}, Qt::Horizontal);
      panes_[name] = dock;
    }
    // The add-in names the pane after the run it is set up for.
    if (!pane->Caption().empty()) dock->setWindowTitle(Text(pane->Caption()));
    dock->setVisible(pane->IsVisible());
    dock->Refresh();
  }
}

void ReaderWindow::OnPaneRowSelected(PaneDock* dock, int row) {
  if (row < 0 || dock->Table()->columnCount() <= workbench::kPathColumn) return;
  const QTableWidgetItem* item = dock->Table()->item(row, workbench::kPathColumn);
  if (item != nullptr && !item->text().isEmpty()) ShowSealsOf(DocumentPath(item->text()));
}

// Documents the add-in opened (a pane row double-clicked) get a tab; the host's active one is shown.
void ReaderWindow::SyncDocuments() {
  const host::HostState& state = host_.Driver().Host().State();
  for (const auto& document : state.documents) {
    if (!document || !document->Core() || !document->Core()->IsOpen()) continue;
    const fs::path file = DocumentPath(Text(document->Core()->Path()));
    if (shown_.count(file) != 0) continue;
    std::vector<host::Point> sizes;
    for (int i = 0; i < document->Core()->PageCount(); ++i) {
      const host::PageGeometry* geometry = document->Core()->Geometry(i);
      sizes.push_back(geometry ? host::Point{geometry->Width(), geometry->Height()} : host::Point{});
    }
    AddView(file, std::move(sizes));
  }
  if (state.active && state.active->Core()) {
    const auto found = shown_.find(DocumentPath(Text(state.active->Core()->Path())));
    // The seal list follows the document in view when it changes (a pane row selected since may show another
    // file's seals), and shows the first one.
    if (found != shown_.end() && (tabs_->currentWidget() != found->second.view || seals_->File().empty())) {
      tabs_->setCurrentWidget(found->second.view);
      ShowSealsOf(found->first);
    }
  }
}

// A redraw the add-in asked for (a pre-stamp placed or removed): the pages come from the host's document now.
void ReaderWindow::RedrawChangedPages() {
  for (auto& [file, shown] : shown_) {
    const auto document = host_.Document(file);
    if (!document || document->redrawCount == shown.redraws) continue;
    shown.redraws = document->redrawCount;
    shown.live = true;
    const std::weak_ptr<host::DocumentCore> weak = document;
    shown.view->DrawLive([weak](int pageIndex, double scale, int rotation) -> QImage {
      const auto core = weak.lock();
      if (!core || !core->IsOpen()) return {};
      const qp_page page = core->Page(pageIndex);
      return page != nullptr ? DrawEnginePage(page, scale, rotation) : QImage();
    });
  }
}

// Files a run changed on disk are shown again as they are now. A document holding changes not saved (a
// pre-stamp) keeps them: the user reloads it when done.
void ReaderWindow::ReloadChangedFiles() {
  for (auto& [file, shown] : shown_) {
    const auto stamp = StampOf(file);
    if (!stamp || (stamp->written == shown.written && stamp->size == shown.size)) continue;
    if (shown.live) {
      statusBar()->showMessage(tr("%1 changed on disk; File > Reload shows it (placed pre-stamps are dropped).")
                                   .arg(Native(file)));
      shown.written = stamp->written;
      shown.size = stamp->size;
      continue;
    }
    Reload(shown);
  }
}

void ReaderWindow::Reload(Shown& shown) {
  const fs::path file = PathOf(shown.view);
  std::optional<std::vector<host::Point>> sizes;
  QString problem;
  if (host_.IsRunning()) {
    const bool wasActive = CurrentView() == shown.view;
    host_.Close(file);
    std::string reason;
    sizes = host_.Open(file, reason);
    problem = QString::fromStdString(reason);
    if (!wasActive) {
      if (const fs::path current = PathOf(CurrentView()); !current.empty()) host_.Activate(current);
    }
  } else {
    sizes = FilePageSizes(Native(file), problem);
  }
  if (const auto stamp = StampOf(file)) {
    shown.written = stamp->written;
    shown.size = stamp->size;
  }
  if (!sizes) {
    statusBar()->showMessage(tr("%1: %2").arg(Native(file), problem));
    return;
  }
  shown.live = false;
  if (const auto document = host_.Document(file)) shown.redraws = document->redrawCount;
  shown.view->Reload(std::move(*sizes));
  if (seals_->File() == file) ShowSealsOf(file);
}

void ReaderWindow::ShowSealsOf(const fs::path& file) { seals_->ShowFile(file); }

void ReaderWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void ReaderWindow::dropEvent(QDropEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) OpenFile(url.toLocalFile());
  }
  event->acceptProposedAction();
}

}  // namespace sealrun::reader
