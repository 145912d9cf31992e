#include "workbench/RunDialogs.h"

#include <array>

namespace sealrun::workbench {

namespace {

std::array<RunDialogFactory, 3>& Factories() {
  static std::array<RunDialogFactory, 3> factories;
  return factories;
}

size_t Slot(PaneMode mode) { return static_cast<size_t>(mode); }

}  // namespace

void RegisterRunDialog(PaneMode mode, RunDialogFactory factory) { Factories()[Slot(mode)] = std::move(factory); }

bool HasRunDialog(PaneMode mode) { return static_cast<bool>(Factories()[Slot(mode)]); }

std::optional<int> OpenRunDialog(PaneMode mode, RunDialogContext& context) {
  // A copy, so a dialog that re-registers its mode does not destroy the running factory.
  const RunDialogFactory factory = Factories()[Slot(mode)];
  if (!factory) return std::nullopt;
  return factory(context);
}

}  // namespace sealrun::workbench
