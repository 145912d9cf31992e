#include "platform/ui/ListView.h"

#include <algorithm>

namespace sealrun::platform::ui {

ListView::ListView(int id) : Window(u"SysListView32", id) {}

int ListView::InsertColumn(int index, Column column) {
  index = std::clamp(index, 0, static_cast<int>(columns_.size()));
  columns_.insert(columns_.begin() + index, std::move(column));
  return index;
}

int ListView::InsertRow(int index, std::u16string text) {
  index = std::clamp(index, 0, RowCount());
  Row row;
  row.texts.push_back(std::move(text));
  rows_.insert(rows_.begin() + index, std::move(row));
  return index;
}

bool ListView::SetItemText(int row, int column, std::u16string text) {
  if (row < 0 || row >= RowCount() || column < 0) return false;
  auto& texts = rows_[static_cast<size_t>(row)].texts;
  if (texts.size() <= static_cast<size_t>(column)) texts.resize(static_cast<size_t>(column) + 1);
  texts[static_cast<size_t>(column)] = std::move(text);
  return true;
}

std::u16string ListView::ItemText(int row, int column) const {
  if (row < 0 || row >= RowCount() || column < 0) return {};
  const auto& texts = rows_[static_cast<size_t>(row)].texts;
  return static_cast<size_t>(column) < texts.size() ? texts[static_cast<size_t>(column)] : std::u16string();
}

void ListView::DeleteAllRows() { rows_.clear(); }

uint32_t ListView::ItemState(int row, uint32_t mask) const {
  if (row < 0 || row >= RowCount()) return 0;
  return rows_[static_cast<size_t>(row)].state & mask;
}

bool ListView::SetItemState(int row, uint32_t state, uint32_t mask) {
  if (row < 0 || row >= RowCount()) return false;
  auto& current = rows_[static_cast<size_t>(row)].state;
  current = (current & ~mask) | (state & mask);
  return true;
}

int ListView::NextItem(int start, uint32_t state) const {
  for (int row = std::max(start, 0); row < RowCount(); ++row)
    if ((rows_[static_cast<size_t>(row)].state & state) == state) return row;
  return -1;
}

bool ListView::SelectRow(int row) {
  if (!IsEnabled() || row < 0 || row >= RowCount()) return false;
  for (auto& each : rows_) each.state &= ~(kLvisSelected | kLvisFocused);
  rows_[static_cast<size_t>(row)].state |= kLvisSelected | kLvisFocused;
  return true;
}

bool ListView::DoubleClick() {
  if (!IsEnabled() || !Parent()) return false;
  NotifyHeader header{Handle(), Id(), kNmDblClk};
  SendMessage(Parent()->Handle(), kWmNotify, static_cast<WParam>(Id()), reinterpret_cast<LParam>(&header));
  return true;
}

}  // namespace sealrun::platform::ui
