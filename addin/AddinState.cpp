#include "addin/AddinState.h"

namespace sealrun::addin {

AddinState& State() {
  static AddinState state;
  return state;
}

std::vector<int>& FailedItemList() {
  static std::vector<int> rows;
  return rows;
}

}  // namespace sealrun::addin
