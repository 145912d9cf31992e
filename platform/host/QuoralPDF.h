#pragma once
// The host reader QuoralPDF: starts the PDF engine, keeps documents, command bars, panes and the event
// source, loads the add-ins its settings list (ProgID -> CoCreateInstance -> QPXExtensibility ->
// OnConnection) and disconnects them on shutdown.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/host/ApplicationObject.h"
#include "platform/host/HostState.h"

namespace sealrun::platform::host {

struct HostOptions {
  // The settings file; none: DefaultHostSettingsPath().
  std::optional<std::filesystem::path> settingsPath;
};

struct LoadedAddIn {
  std::u16string progId;
  // Where loading stopped: the failure of CLSIDFromProgID, CoCreateInstance, QueryInterface or
  // OnConnection, or S_OK for a connected add-in.
  com::HRESULT result = com::S_OK;
  com::ComPtr<external::QPXExtensibility> addIn;  // null unless connected
};

class QuoralPDF {
 public:
  QuoralPDF() = default;
  ~QuoralPDF() { Shutdown(); }
  QuoralPDF(const QuoralPDF&) = delete;
  QuoralPDF& operator=(const QuoralPDF&) = delete;

  // Fails (and leaves the host stopped) when the engine does not start or the host already runs. An add-in
  // that does not load is recorded in AddIns() and skipped.
  com::HRESULT Start(const HostOptions& options = {});
  // Disconnects the add-ins (in reverse order), drops the event subscriptions, closes the documents,
  // releases pane controls and bars, stops the engine. Harmless when not running.
  void Shutdown();
  bool IsRunning() const { return state_ != nullptr; }

  const com::ComPtr<ApplicationObject>& Application() const { return application_; }
  HostState& State() { return *state_; }
  const std::vector<LoadedAddIn>& AddIns() const { return addIns_; }

  com::HRESULT OpenDocument(const std::u16string& path, com::ComPtr<DocumentObject>* document = nullptr);
  // Makes an open document the active one; false when no open document has that path.
  bool ActivateDocument(const std::u16string& path);
  // Closes a document; the next one opened before it (or none) becomes active.
  bool CloseDocument(const std::u16string& path);
  com::ComPtr<DocumentObject> ActiveDocument() const { return state_ ? state_->active : nullptr; }
  com::ComPtr<PaneObject> Pane(std::u16string_view name) const;

 private:
  void LoadAddIns(const std::vector<std::u16string>& progIds);

  std::shared_ptr<HostState> state_;
  com::ComPtr<ApplicationObject> application_;
  std::vector<LoadedAddIn> addIns_;
  bool comInitialised_ = false;
};

}  // namespace sealrun::platform::host
