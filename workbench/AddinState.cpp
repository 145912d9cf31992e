#include "workbench/AddinState.h"

namespace sealrun::workbench {

AddinState& State() {
  static AddinState state;
  return state;
}

std::vector<int>& FailedItemList() {
  static std::vector<int> rows;
  return rows;
}

}  // namespace sealrun::workbench
