#pragma once
// The application object handed to add-ins, with its event source, and the documents collection.
#include <memory>
#include <string>

#include "external/HostViewer.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/host/HostObject.h"
#include "platform/host/HostState.h"

namespace sealrun::platform::host {

// Opens a document, or activates it when the same file is already open; the document object out.
com::HRESULT OpenDocument(HostState& state, const std::u16string& path, com::ComPtr<DocumentObject>& document);

class DocumentsObject final : public HostObject<DocumentsObject, external::IHostDocuments> {
 public:
  explicit DocumentsObject(std::weak_ptr<HostState> state) : state_(std::move(state)) {}
  com::HRESULT Open(com::VARIANT path, com::VARIANT option1, com::VARIANT option2, com::VARIANT option3,
                    external::IHostDocument** document) override;
  com::HRESULT get_ActiveDocument(external::IHostDocument** document) override;
  com::HRESULT get_Count(com::LONG* count) override;

 private:
  std::weak_ptr<HostState> state_;
};

class ApplicationObject final
    : public HostObject<ApplicationObject, external::IHostApplication, com::IConnectionPointContainer> {
 public:
  explicit ApplicationObject(std::weak_ptr<HostState> state)
      : state_(std::move(state)), events_(this, external::DIID_HostEvents) {}

  com::HRESULT get_Documents(external::IHostDocuments** documents) override;
  com::HRESULT get_CommandBars(external::IHostCommandBars** bars) override;
  com::HRESULT get_ImageService(external::IHostImageService** service) override;
  com::HRESULT get_Panes(external::IHostPanes** panes) override;
  com::HRESULT get_LanguageId(com::LONG* languageId) override;

  com::HRESULT EnumConnectionPoints(com::IEnumConnectionPoints** points) override;
  com::HRESULT FindConnectionPoint(com::REFIID iid, com::IConnectionPoint** point) override;

  size_t SinkCount() const { return events_.ConnectionCount(); }
  // Event 1 to every sink: (UI4 0, UI4 command id).
  com::HRESULT FireCommand(com::LONG commandId);
  // Events 2, 3, 5, 7 to every sink: (view, UI8 W, UI8 L, VT_BYREF|VT_BOOL handled). Answers handled as the
  // sinks left it.
  com::VARIANT_BOOL FireViewEvent(com::DISPID id, com::IDispatch* view, com::ULONGLONG w, com::ULONGLONG l);
  // Drops every subscription (the host's shutdown).
  void DisconnectSinks() { events_.UnadviseAll(); }

 private:
  std::weak_ptr<HostState> state_;
  com::ConnectionPoint events_;
};

}  // namespace sealrun::platform::host
