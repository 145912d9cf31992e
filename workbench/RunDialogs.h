#pragma once
// The dialogs a batch run opens, found by pane mode. The signing, verification and removal dialogs live
// in the folders that run them; the module registers their factories when it loads, so the pane depends
// on none of them. A mode without a registered dialog starts nothing.
#include <functional>
#include <optional>

#include "workbench/AddinState.h"
#include "platform/ui/ListView.h"

namespace sealrun::workbench {

struct RunDialogContext {
  platform::ui::ListView& list;  // the verification and removal runs write per-row results into it
};

// Runs the modal dialog of a mode and returns how it ended (platform::ui::kIdOk, kIdCancel, ...).
using RunDialogFactory = std::function<int(RunDialogContext& context)>;

// Registers (or, with an empty factory, removes) the dialog of a mode.
void RegisterRunDialog(PaneMode mode, RunDialogFactory factory);
bool HasRunDialog(PaneMode mode);
// How the dialog ended, or nullopt when no dialog is registered for the mode.
std::optional<int> OpenRunDialog(PaneMode mode, RunDialogContext& context);

}  // namespace sealrun::workbench
