#include "platform/host/QuoralPDF.h"

#include <algorithm>

#include "platform/com/ComRuntime.h"
#include "platform/fs/DebugTrace.h"
#include "platform/host/HostSettings.h"
#include "platform/text/Utf.h"

namespace sealrun::platform::host {

com::HRESULT QuoralPDF::Start(const HostOptions& options) {
  if (state_) return com::E_UNEXPECTED;
  addIns_.clear();
  comInitialised_ = SUCCEEDED(com::CoInitializeEx(nullptr, com::COINIT_APARTMENTTHREADED));
  auto state = std::make_shared<HostState>();
  state->engine = external::StartEngine();
  if (!state->engine) {
    if (comInitialised_) com::CoUninitialize();
    comInitialised_ = false;
    return com::E_FAIL;
  }
  const HostSettings settings = ReadHostSettings(options.settingsPath.value_or(DefaultHostSettingsPath()));
  state->languageId = settings.languageId;
  state->frame = std::make_unique<ui::Window>(u"QuoralPDFFrame");
  state->frame->SetText(u"QuoralPDF");
  ui::SetActiveWindow(state->frame.get());
  state_ = state;
  if (const com::HRESULT hr = ApplicationObject::Create(application_, std::weak_ptr<HostState>(state_)); FAILED(hr)) {
    Shutdown();
    return hr;
  }
  LoadAddIns(settings.addIns);
  return com::S_OK;
}

void QuoralPDF::LoadAddIns(const std::vector<std::u16string>& progIds) {
  for (const auto& progId : progIds) {
    LoadedAddIn loaded{progId, com::S_OK, nullptr};
    com::CLSID clsid{};
    com::ComPtr<com::IUnknown> object;
    com::ComPtr<external::QPXExtensibility> addIn;
    loaded.result = com::CLSIDFromProgID(progId.c_str(), &clsid);
    if (SUCCEEDED(loaded.result))
      loaded.result = com::CoCreateInstance(clsid, nullptr, com::CLSCTX_INPROC_SERVER, com::IID_IUnknown,
                                            object.OutVoid());
    if (SUCCEEDED(loaded.result)) loaded.result = object.As(addIn);
    if (SUCCEEDED(loaded.result))
      loaded.result = addIn->OnConnection(static_cast<external::IHostApplication*>(application_.Get()));
    if (SUCCEEDED(loaded.result)) {
      loaded.addIn = addIn;
    } else {
      fs::DebugTrace(u"QuoralPDF: add-in " + progId + u" not loaded");
    }
    addIns_.push_back(std::move(loaded));
  }
}

void QuoralPDF::Shutdown() {
  if (!state_) return;
  for (auto it = addIns_.rbegin(); it != addIns_.rend(); ++it) {
    if (it->addIn) it->addIn->OnDisconnection();
    it->addIn.Reset();
  }
  if (application_) application_->DisconnectSinks();
  HostState& state = *state_;
  state.popup.reset();
  // Windows first (a pane control's window may be of the control module's own class), then the controls,
  // which reach their windows by handle only.
  if (ui::ActiveWindow() == state.frame.get()) ui::SetActiveWindow(nullptr);
  state.frame.reset();
  for (const auto& pane : state.panes) pane->ReleaseControl();
  state.panes.clear();
  state.commandBars.clear();
  state.active.Reset();
  for (const auto& document : state.documents) document->Core()->Close();
  state.documents.clear();
  state.engine.reset();
  application_.Reset();
  state_.reset();
  if (comInitialised_) com::CoUninitialize();
  comInitialised_ = false;
}

com::HRESULT QuoralPDF::OpenDocument(const std::u16string& path, com::ComPtr<DocumentObject>* document) {
  if (!state_) return com::E_UNEXPECTED;
  com::ComPtr<DocumentObject> opened;
  const com::HRESULT hr = host::OpenDocument(*state_, path, opened);
  if (document != nullptr) *document = opened;
  return hr;
}

bool QuoralPDF::ActivateDocument(const std::u16string& path) {
  if (!state_) return false;
  for (const auto& document : state_->documents) {
    if (document->Core()->Path() == path) {
      state_->active = document;
      return true;
    }
  }
  return false;
}

bool QuoralPDF::CloseDocument(const std::u16string& path) {
  if (!state_) return false;
  auto& documents = state_->documents;
  const auto found = std::find_if(documents.begin(), documents.end(),
                                  [&](const auto& document) { return document->Core()->Path() == path; });
  if (found == documents.end()) return false;
  (*found)->Core()->Close();
  const bool wasActive = state_->active == *found;
  const auto position = documents.erase(found);
  if (wasActive) {
    state_->active.Reset();
    if (position != documents.begin()) state_->active = *(position - 1);
    else if (!documents.empty()) state_->active = documents.front();
  }
  return true;
}

com::ComPtr<PaneObject> QuoralPDF::Pane(std::u16string_view name) const {
  if (!state_) return nullptr;
  for (const auto& pane : state_->panes)
    if (pane->Name() == name) return pane;
  return nullptr;
}

}  // namespace sealrun::platform::host
