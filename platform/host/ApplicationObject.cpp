#include "platform/host/ApplicationObject.h"

#include <filesystem>

#include "platform/fs/Paths.h"

namespace sealrun::platform::host {
namespace {

// Two paths name one file when they resolve to the same place.
bool SameFile(const std::u16string& a, const std::u16string& b) {
  std::error_code error;
  const auto pa = std::filesystem::weakly_canonical(fs::PathFromUtf16(a), error);
  if (error) return a == b;
  const auto pb = std::filesystem::weakly_canonical(fs::PathFromUtf16(b), error);
  if (error) return a == b;
  return pa == pb;
}

}  // namespace

com::HRESULT OpenDocument(HostState& state, const std::u16string& path, com::ComPtr<DocumentObject>& document) {
  document.Reset();
  if (path.empty() || !state.engine) return com::E_INVALIDARG;
  for (const auto& open : state.documents) {
    if (SameFile(open->Core()->Path(), path)) {
      state.active = open;
      document = open;
      return com::S_OK;
    }
  }
  int result = QP_OK;
  const std::shared_ptr<DocumentCore> core = DocumentCore::Open(state.engine.get(), path, result);
  if (!core) return com::E_FAIL;
  if (const com::HRESULT hr = DocumentObject::Create(document, core); FAILED(hr)) return hr;
  state.documents.push_back(document);
  state.active = document;
  return com::S_OK;
}

com::HRESULT DocumentsObject::Open(com::VARIANT path, com::VARIANT, com::VARIANT, com::VARIANT,
                                   external::IHostDocument** document) {
  if (document == nullptr) return com::E_POINTER;
  *document = nullptr;
  const std::shared_ptr<HostState> state = state_.lock();
  if (!state) return com::E_UNEXPECTED;
  const std::optional<std::u16string> text = com::Variant(path).AsString();
  if (!text) return com::E_INVALIDARG;
  com::ComPtr<DocumentObject> opened;
  if (const com::HRESULT hr = OpenDocument(*state, *text, opened); FAILED(hr)) return hr;
  return GiveOut(opened, document);
}

com::HRESULT DocumentsObject::get_ActiveDocument(external::IHostDocument** document) {
  if (document == nullptr) return com::E_POINTER;
  *document = nullptr;
  const std::shared_ptr<HostState> state = state_.lock();
  if (!state) return com::E_UNEXPECTED;
  return GiveOut(state->active, document);
}

com::HRESULT DocumentsObject::get_Count(com::LONG* count) {
  if (count == nullptr) return com::E_POINTER;
  const std::shared_ptr<HostState> state = state_.lock();
  *count = state ? static_cast<com::LONG>(state->documents.size()) : 0;
  return state ? com::S_OK : com::E_UNEXPECTED;
}

com::HRESULT ApplicationObject::get_Documents(external::IHostDocuments** documents) {
  com::ComPtr<DocumentsObject> object;
  if (const com::HRESULT hr = DocumentsObject::Create(object, state_); FAILED(hr)) return hr;
  return GiveOut(object, documents);
}

com::HRESULT ApplicationObject::get_CommandBars(external::IHostCommandBars** bars) {
  com::ComPtr<CommandBarsObject> object;
  if (const com::HRESULT hr = CommandBarsObject::Create(object, state_); FAILED(hr)) return hr;
  return GiveOut(object, bars);
}

com::HRESULT ApplicationObject::get_ImageService(external::IHostImageService** service) {
  com::ComPtr<ImageServiceObject> object;
  if (const com::HRESULT hr = ImageServiceObject::Create(object, state_); FAILED(hr)) return hr;
  return GiveOut(object, service);
}

com::HRESULT ApplicationObject::get_Panes(external::IHostPanes** panes) {
  com::ComPtr<PanesObject> object;
  if (const com::HRESULT hr = PanesObject::Create(object, state_); FAILED(hr)) return hr;
  return GiveOut(object, panes);
}

com::HRESULT ApplicationObject::get_LanguageId(com::LONG* languageId) {
  if (languageId == nullptr) return com::E_POINTER;
  const std::shared_ptr<HostState> state = state_.lock();
  *languageId = state ? state->languageId : external::kHostDefaultLanguageId;
  return com::S_OK;
}

com::HRESULT ApplicationObject::EnumConnectionPoints(com::IEnumConnectionPoints** points) {
  if (points != nullptr) *points = nullptr;
  return com::E_NOTIMPL;
}

com::HRESULT ApplicationObject::FindConnectionPoint(com::REFIID iid, com::IConnectionPoint** point) {
  com::ConnectionPoint* const points[] = {&events_};
  return com::FindConnectionPointIn(points, iid, point);
}

com::HRESULT ApplicationObject::FireCommand(com::LONG commandId) {
  return events_.FireDispatch(external::kHostEventCommand,
                              {com::Variant::UI4(0), com::Variant::UI4(static_cast<uint32_t>(commandId))});
}

com::VARIANT_BOOL ApplicationObject::FireViewEvent(com::DISPID id, com::IDispatch* view, com::ULONGLONG w,
                                                   com::ULONGLONG l) {
  com::VARIANT_BOOL handled = com::VARIANT_FALSE;
  events_.FireDispatch(id, {com::Variant(view), com::Variant::UI8(w), com::Variant::UI8(l),
                            com::Variant::ByRef(com::VT_BOOL, &handled)});
  return handled;
}

}  // namespace sealrun::platform::host
