#pragma once
// The reader's main window and the host's face: documents in tabs (each open in the host too), the add-in's
// command bars as toolbars and menus, its panes docked at the side, the seals of the file in view, and the
// pointer on a page delivered to the host as the view's pixels, so a click in place mode puts the pre-stamp
// where the user clicked.
#include <QMainWindow>
#include <QString>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "apps/reader/ReaderHost.h"

class QTabWidget;
class QTimer;

namespace sealrun::platform::ui {
class ScopedBackend;
struct Cursor;
}  // namespace sealrun::platform::ui

namespace sealrun::reader {

class CommandBars;
class DocumentView;
class PaneDock;
class SealList;

class ReaderWindow : public QMainWindow {
  Q_OBJECT

 public:
  struct Options {
    bool withHost = true;  // false: a plain reader without the add-in
    bool nativeFileDialogs = true;  // false: Qt's own file dialogs (tests drive them)
  };
  explicit ReaderWindow(QWidget* parent = nullptr);
  explicit ReaderWindow(Options options, QWidget* parent = nullptr);
  ~ReaderWindow() override;

  // Opens a PDF file in a new tab (or shows its tab); false, with the reason in a message box and the
  // status line, when it cannot be opened.
  bool OpenFile(const QString& path);
  DocumentView* CurrentView() const;
  DocumentView* ViewOf(const QString& path) const;
  int DocumentCount() const;

  ReaderHost& Host() { return host_; }
  // Why the host did not start (empty when it runs).
  const QString& HostProblem() const { return hostProblem_; }
  CommandBars& Commands() const { return *commands_; }
  // The dock of a host pane, once the pane was created.
  PaneDock* Pane(const QString& name) const;
  SealList& Seals() const { return *seals_; }

  // Shows again what the host and the add-in changed: command bars, panes, documents it opened, pages it
  // asked to redraw, files changed on disk. Runs after everything the user does.
  void AfterHostAction();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  struct Shown {
    DocumentView* view = nullptr;
    std::filesystem::file_time_type written;
    uintmax_t size = 0;
    int redraws = 0;     // the host's redraw count last drawn
    bool live = false;   // pages come from the host's document (changes not saved)
  };

  void BuildMenus();
  void AskAndOpen();
  void ReloadCurrent();
  DocumentView* AddView(const std::filesystem::path& file, std::vector<platform::host::Point> sizes);
  void CloseTab(int index);
  void OnTabChanged(int index);
  void OnPagePressed(DocumentView* view, QPoint pixel, Qt::MouseButton button);
  void OnPointerMoved(DocumentView* view, QPoint pixel);
  void SyncHostView(DocumentView* view);
  void ClickCommand(long id);
  void ShowHostPopup();
  void SyncPanes();
  void SyncDocuments();
  void RedrawChangedPages();
  void ReloadChangedFiles();
  void Reload(Shown& shown);
  void ShowSealsOf(const std::filesystem::path& file);
  void OnPaneRowSelected(PaneDock* dock, int row);
  void ApplyCursor(DocumentView* view, bool handled);
  std::filesystem::path PathOf(const DocumentView* view) const;

  Options options_;
  ReaderHost host_;
  QString hostProblem_;
  std::unique_ptr<platform::ui::ScopedBackend> backend_;
  QTabWidget* tabs_ = nullptr;
  CommandBars* commands_ = nullptr;
  SealList* seals_ = nullptr;
  QTimer* pump_ = nullptr;
  std::map<std::filesystem::path, Shown> shown_;
  std::map<QString, PaneDock*> panes_;
  std::shared_ptr<const platform::ui::Cursor> cursorShown_;
  bool syncing_ = false;
};

// The absolute, normalised form of a path, as documents are named in the host.
std::filesystem::path DocumentPath(const QString& path);

}  // namespace sealrun::reader
