#pragma once
// The module-wide state the add-in object, the pane, the batch runs and the signing engine share. One
// instance lives as long as the module; everything runs on the host's user-interface thread, so it takes
// no lock.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "signing/SealTemplate.h"
#include "config/PublicSettings.h"
#include "config/SignatureMode.h"
#include "external/QpHandles.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Interfaces.h"

namespace sealrun::workbench {

using signing::SealTemplate;

// What the pane's run and result buttons do.
enum class PaneMode { Sign, Verify, Remove };

// pageSetting before the automation client ever set a page.
inline constexpr int32_t kPageSettingUnset = -100;
// The signature mode from the add-in object's creation until the connection reads the setting.
inline constexpr std::u16string_view kSignatureModeBeforeConnection = u"1";

struct AddinState {
  platform::com::ComPtr<platform::com::IDispatch> host;  // the host's application object, held while connected
  external::EngineHandle engine;                         // started at connection, stopped at disconnection
  std::vector<std::u16string> fileList;
  std::u16string searchText;
  int32_t pageSetting = kPageSettingUnset;
  platform::com::VARIANT_BOOL addDate = 0;
  platform::com::VARIANT_BOOL textPosLocked = 0;
  config::SignatureMode signatureMode{kSignatureModeBeforeConnection};
  PaneMode paneMode = PaneMode::Sign;
  std::u16string resultSummary;
  std::vector<SealTemplate> templates;
  config::PublicSettings publicSettings;
};

// The one instance.
AddinState& State();

// Zero-based row indices of the files that failed in the current run, in the order they failed. Emptied
// when a run starts; its length is the run's failure count.
std::vector<int>& FailedItemList();

// True when the runs stamp, verify and remove signature fields rather than seal annotations.
inline bool UsesSignatureFields(const AddinState& state) { return state.signatureMode.StampsSignatureFields(); }

}  // namespace sealrun::workbench
