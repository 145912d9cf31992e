#pragma once
// The module-wide state lives with the pane, below the add-in object; the add-in names it here.
#include "addin/SealTemplate.h"
#include "workbench/AddinState.h"

namespace sealrun::addin {

using workbench::AddinState;
using workbench::FailedItemList;
using workbench::kPageSettingUnset;
using workbench::PaneMode;
using workbench::State;
using workbench::UsesSignatureFields;

}  // namespace sealrun::addin
