#pragma once
// A report-style list view: columns with headings, rows of texts, and per-row state bits
// (selected, focused, drop-highlighted).
#include <string>
#include <vector>

#include "platform/ui/Window.h"

namespace sealrun::platform::ui {

class ListView : public Window {
 public:
  enum class Align { Left, Center, Right };
  struct Column {
    std::u16string heading;
    int width = 0;
    Align align = Align::Left;
  };

  explicit ListView(int id);

  int InsertColumn(int index, Column column);
  const std::vector<Column>& Columns() const { return columns_; }

  int RowCount() const { return static_cast<int>(rows_.size()); }
  // Inserts a row whose first column holds `text`; returns its index (clamped to the end).
  int InsertRow(int index, std::u16string text);
  bool SetItemText(int row, int column, std::u16string text);
  // "" for a row or column that does not exist, as the window system answers.
  std::u16string ItemText(int row, int column) const;
  void DeleteAllRows();

  uint32_t ItemState(int row, uint32_t mask) const;
  bool SetItemState(int row, uint32_t state, uint32_t mask);
  // The first row at or after `start` whose state has all bits of `state`; -1 when none.
  int NextItem(int start, uint32_t state) const;

  // The user selects a row (single selection) / double-clicks the selected row (NM_DBLCLK to the parent).
  bool SelectRow(int row);
  bool DoubleClick();

 private:
  struct Row {
    std::vector<std::u16string> texts;
    uint32_t state = 0;
  };
  std::vector<Column> columns_;
  std::vector<Row> rows_;
};

}  // namespace sealrun::platform::ui
