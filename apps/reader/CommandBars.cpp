#include "apps/reader/CommandBars.h"

#include <QAction>
#include <QCursor>
#include <QIcon>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QToolBar>

#include "platform/ui/qt/QtImages.h"

namespace sealrun::reader {

namespace host = platform::host;

namespace {

QString Text(const std::u16string& text) { return QString::fromStdU16String(text); }

// The bitmap an add-in registered for a control (image numbers count from 1), or none.
QIcon ControlIcon(const host::ControlObject& control, const host::HostState& state) {
  const long number = control.Image();
  if (number < 1 || static_cast<size_t>(number) > state.images.size()) return {};
  return QIcon(QPixmap::fromImage(platform::ui::qt::ToQImage(state.images[static_cast<size_t>(number - 1)])));
}

QAction* MakeAction(const host::ControlObject& control, const host::HostState& state, QObject* parent) {
  auto* action = new QAction(ControlIcon(control, state), Text(control.Caption()), parent);  // owned by parent
  action->setToolTip(Text(control.Tooltip().empty() ? control.Caption() : control.Tooltip()));
  action->setObjectName(QStringLiteral("control-%1").arg(control.Id()));
  return action;
}

// A text that changes whenever anything shown of the bars changes.
QString Shape(const host::HostState& state) {
  QString shape;
  for (const auto& bar : state.commandBars) {
    if (!bar || bar->IsPopup() || !bar->IsFinished()) continue;
    shape += Text(bar->Name()) + QLatin1Char('\n');
    for (const auto& control : bar->Controls()) {
      shape += QStringLiteral("%1|%2|%3|%4\n")
                   .arg(control->Id())
                   .arg(Text(control->Caption()), Text(control->Tooltip()))
                   .arg(control->Image());
    }
  }
  return shape;
}

}  // namespace

CommandBars::CommandBars(QMainWindow& window, Click click) : QObject(&window), window_(window), click_(std::move(click)) {}

void CommandBars::Clear() {
  for (QToolBar* toolbar : toolbars_) {
    window_.removeToolBar(toolbar);
    toolbar->deleteLater();
  }
  for (QMenu* menu : menus_) {
    window_.menuBar()->removeAction(menu->menuAction());
    menu->deleteLater();
  }
  toolbars_.clear();
  menus_.clear();
}

void CommandBars::Refresh(const host::HostState& state) {
  const QString shape = Shape(state);
  if (shape == shown_) return;
  shown_ = shape;
  Clear();
  for (const auto& bar : state.commandBars) {
    if (!bar || bar->IsPopup() || !bar->IsFinished()) continue;
    auto* toolbar = new QToolBar(Text(bar->Name()), &window_);  // owned by the window
    toolbar->setObjectName(QStringLiteral("bar-") + Text(bar->Name()));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QMenu* menu = window_.menuBar()->addMenu(Text(bar->Name()));
    for (const auto& control : bar->Controls()) {
      QAction* action = MakeAction(*control.Get(), state, toolbar);
      const long id = control->Id();
      connect(action, &QAction::triggered, this, [this, id] { click_(id); });
      toolbar->addAction(action);
      menu->addAction(action);
    }
    window_.addToolBar(Qt::TopToolBarArea, toolbar);
    toolbars_.push_back(toolbar);
    menus_.push_back(menu);
  }
}

long CommandBars::ShowPopup(const host::CommandBarObject& popup, const host::HostState& state, QWidget* parent) {
  QMenu menu(parent);
  for (const auto& control : popup.Controls()) {
    QAction* action = MakeAction(*control.Get(), state, &menu);
    action->setData(static_cast<qlonglong>(control->Id()));
    menu.addAction(action);
  }
  const QAction* chosen = menu.exec(QCursor::pos());
  return chosen != nullptr ? static_cast<long>(chosen->data().toLongLong()) : -1;
}

}  // namespace sealrun::reader
