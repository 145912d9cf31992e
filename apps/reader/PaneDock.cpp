#include "apps/reader/PaneDock.h"

#include <QAction>
#include <QBrush>
#include <QFont>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include "platform/ui/ListView.h"
#include "platform/ui/Messages.h"
#include "platform/ui/Toolbar.h"

namespace sealrun::reader {

namespace ui = platform::ui;

namespace {

QString Text(const std::u16string& text) { return QString::fromStdU16String(text); }

// The first descendant of this kind, depth first.
template <typename T>
T* FindModel(const ui::Window& window) {
  for (const auto& child : window.Children()) {
    if (auto* found = dynamic_cast<T*>(child.get())) return found;
    if (auto* deeper = FindModel<T>(*child)) return deeper;
  }
  return nullptr;
}

Qt::Alignment Alignment(ui::ListView::Align align) {
  switch (align) {
    case ui::ListView::Align::Center: return Qt::AlignCenter;
    case ui::ListView::Align::Right: return Qt::AlignRight | Qt::AlignVCenter;
    default: return Qt::AlignLeft | Qt::AlignVCenter;
  }
}

// Failed rows: a light red the selection colour still shows through.
const QColor kHighlight(255, 205, 205);

}  // namespace

PaneDock::PaneDock(const QString& caption, ui::WindowHandle control, std::function<void()> acted, QWidget* parent)
    : QDockWidget(caption, parent), control_(control), acted_(std::move(acted)) {
  setObjectName(QStringLiteral("pane-") + caption);
  auto* body = new QWidget(this);  // owned by the dock
  auto* layout = new QVBoxLayout(body);
  layout->setContentsMargins(2, 2, 2, 2);
  buttons_ = new QToolBar(body);
  buttons_->setObjectName(QStringLiteral("pane-buttons"));
  buttons_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  table_ = new QTableWidget(body);
  table_->setObjectName(QStringLiteral("pane-list"));
  table_->setShowGrid(true);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->setVisible(false);
  table_->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(buttons_);
  layout->addWidget(table_);
  setWidget(body);

  connect(table_, &QTableWidget::itemSelectionChanged, this, [this] {
    if (refreshing_) return;
    const int row = SelectedRow();
    if (ui::ListView* list = List(); list != nullptr && row >= 0) list->SelectRow(row);
    emit RowSelected(row);
    acted_();
  });
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
    ui::ListView* list = List();
    if (list == nullptr) return;
    list->SelectRow(row);
    list->DoubleClick();
    acted_();
  });
  Refresh();
}

ui::ListView* PaneDock::List() const {
  const ui::Window* control = ui::FromHandle(control_);
  return control != nullptr ? FindModel<ui::ListView>(*control) : nullptr;
}

ui::Toolbar* PaneDock::ToolbarModel() const {
  const ui::Window* control = ui::FromHandle(control_);
  return control != nullptr ? FindModel<ui::Toolbar>(*control) : nullptr;
}

int PaneDock::SelectedRow() const {
  const QList<QTableWidgetItem*> selected = table_->selectedItems();
  return selected.isEmpty() ? -1 : selected.front()->row();
}

void PaneDock::RebuildButtons(const ui::Toolbar& model) {
  // The old buttons go once control is back in the event loop: one of them may be the one being pressed.
  for (QAction* old : buttons_->actions()) {
    buttons_->removeAction(old);
    old->deleteLater();
  }
  for (const auto& button : model.Buttons()) {
    QAction* action = buttons_->addAction(Text(button.tooltip));
    action->setObjectName(QStringLiteral("pane-command-%1").arg(button.commandId));
    action->setToolTip(Text(button.tooltip));
    const int id = button.commandId;
    connect(action, &QAction::triggered, this, [this, id] {
      if (ui::Toolbar* toolbar = ToolbarModel()) toolbar->Press(id);
      acted_();
    });
  }
}

void PaneDock::Refresh() {
  refreshing_ = true;
  if (const ui::Toolbar* model = ToolbarModel()) {
    std::u16string shape;
    for (const auto& button : model->Buttons()) shape += std::u16string(1, static_cast<char16_t>(button.commandId)) + button.tooltip;
    if (shape != buttonsShown_) {
      buttonsShown_ = shape;
      RebuildButtons(*model);
    }
    const QList<QAction*> actions = buttons_->actions();
    for (size_t i = 0; i < model->Buttons().size() && i < static_cast<size_t>(actions.size()); ++i) {
      actions[static_cast<qsizetype>(i)]->setEnabled(model->Buttons()[i].enabled && model->IsEnabled());
    }
  }

  const ui::ListView* list = List();
  if (list == nullptr) {
    table_->setRowCount(0);
    refreshing_ = false;
    return;
  }
  const QSignalBlocker block(table_);
  const auto& columns = list->Columns();
  table_->setColumnCount(static_cast<int>(columns.size()));
  for (size_t c = 0; c < columns.size(); ++c) {
    const int column = static_cast<int>(c);
    auto* heading = table_->horizontalHeaderItem(column);
    if (heading == nullptr) {
      heading = new QTableWidgetItem;  // owned by the table
      table_->setHorizontalHeaderItem(column, heading);
      table_->setColumnWidth(column, columns[c].width);
    }
    heading->setText(Text(columns[c].heading));
  }
  table_->setRowCount(list->RowCount());
  int selected = -1;
  for (int row = 0; row < list->RowCount(); ++row) {
    const bool highlighted = list->ItemState(row, ui::kLvisDropHilited) != 0;
    if (list->ItemState(row, ui::kLvisSelected) != 0) selected = row;
    for (int column = 0; column < table_->columnCount(); ++column) {
      QTableWidgetItem* item = table_->item(row, column);
      if (item == nullptr) {
        item = new QTableWidgetItem;  // owned by the table
        table_->setItem(row, column, item);
      }
      item->setText(Text(list->ItemText(row, column)));
      item->setTextAlignment(Alignment(columns[static_cast<size_t>(column)].align));
      item->setBackground(highlighted ? QBrush(kHighlight) : QBrush());
      item->setData(Qt::UserRole, highlighted);
    }
  }
  if (selected >= 0) {
    table_->selectRow(selected);
  } else {
    table_->clearSelection();
  }
  refreshing_ = false;
}

}  // namespace sealrun::reader
