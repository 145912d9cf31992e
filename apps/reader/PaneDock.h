#pragma once
// A docking pane of the host at the window's side: the pane control's window shown as widgets. Its toolbar
// becomes a row of buttons, its report list a table with grid lines and full-row selection whose highlighted
// rows (the failed files of a run) stand out. What the user does goes to the control's own window objects,
// so the pane's code runs as it does for every host; Refresh shows their state again.
#include <QDockWidget>
#include <functional>
#include <string>

#include "platform/ui/Window.h"

class QTableWidget;
class QToolBar;

namespace sealrun::platform::ui {
class ListView;
class Toolbar;
}  // namespace sealrun::platform::ui

namespace sealrun::reader {

class PaneDock : public QDockWidget {
  Q_OBJECT

 public:
  // `control`: the pane control's window; `acted` runs after every user action (the window refreshes).
  PaneDock(const QString& caption, platform::ui::WindowHandle control, std::function<void()> acted,
           QWidget* parent = nullptr);

  void Refresh();
  QTableWidget* Table() const { return table_; }
  QToolBar* Buttons() const { return buttons_; }
  // The row the user selected in the list, or -1.
  int SelectedRow() const;

 signals:
  void RowSelected(int row);

 private:
  platform::ui::ListView* List() const;
  platform::ui::Toolbar* ToolbarModel() const;
  void RebuildButtons(const platform::ui::Toolbar& model);

  platform::ui::WindowHandle control_;
  std::function<void()> acted_;
  QToolBar* buttons_ = nullptr;
  QTableWidget* table_ = nullptr;
  std::u16string buttonsShown_;
  bool refreshing_ = false;
};

}  // namespace sealrun::reader
