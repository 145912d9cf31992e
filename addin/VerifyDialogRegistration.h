#pragma once
// Hands the pane the verification and removal dialogs when the module loads.
#include <string_view>

#include "verify/CCBatchDel.h"

namespace sealrun::addin {

// Registers the dialogs of the pane's Verify and Remove modes: they run over the module-wide file list in
// the signature mode read at connection, write the failed rows and (removal) the summary back.
void RegisterVerifyDialogs();

// The removal run's key check: one KeyObject instance asked, in order, to create and open the key, for its
// serial number, to verify the PIN, and to close the key. A PIN that nobody could check is refused.
verify::KeyCheck CheckKeyForRemoval(std::u16string_view pin);

}  // namespace sealrun::addin
