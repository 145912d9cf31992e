#pragma once
// How a per-file operation of a batch run reports a failed file: its row index joins the run's failed
// list and, where the operation says so, the row of the pane's file list is drop-highlighted.
#include <vector>

#include "platform/ui/ListView.h"

namespace sealrun::verify {

enum class Highlight { No, Yes };

struct RowOutcome {
  std::vector<int>& failedItems;
  platform::ui::ListView* list = nullptr;  // the pane's file list; null when there is none

  void Fail(int row, Highlight highlight) const {
    failedItems.push_back(row);
    if (highlight == Highlight::Yes && list != nullptr)
      list->SetItemState(row, platform::ui::kLvisDropHilited, platform::ui::kLvisDropHilited);
  }
};

}  // namespace sealrun::verify
