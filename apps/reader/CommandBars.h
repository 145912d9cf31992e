#pragma once
// The host's command bars as the window shows them: each finished toolbar an add-in built becomes a Qt toolbar
// and a menu of the same name, its controls actions with their captions, tooltips and registered bitmaps. A
// click goes back to the host as the control's click event.
#include <QObject>
#include <QString>
#include <functional>
#include <vector>

#include "platform/host/HostState.h"

class QMainWindow;
class QMenu;
class QMenuBar;
class QToolBar;

namespace sealrun::reader {

class CommandBars : public QObject {
  Q_OBJECT

 public:
  using Click = std::function<void(long controlId)>;
  CommandBars(QMainWindow& window, Click click);

  // Builds the toolbars and menus again when the host's bars changed since the last call.
  void Refresh(const platform::host::HostState& state);
  // The host's popup on show as a menu at the pointer: the chosen item's id, or -1 when the user dismissed it.
  static long ShowPopup(const platform::host::CommandBarObject& popup, const platform::host::HostState& state,
                        QWidget* parent);
  const std::vector<QToolBar*>& Toolbars() const { return toolbars_; }

 private:
  void Clear();

  QMainWindow& window_;
  Click click_;
  QString shown_;  // what the bars looked like when they were built
  std::vector<QToolBar*> toolbars_;
  std::vector<QMenu*> menus_;
};

}  // namespace sealrun::reader
