#include "platform/host/PaneObjects.h"

#include "platform/com/Bstr.h"
#include "platform/com/ComRuntime.h"
#include "platform/host/HostState.h"

namespace sealrun::platform::host {
namespace {

std::u16string Text(com::BSTR text) { return {text ? text : u"", com::SysStringLen(text)}; }

// The client area a pane gives its control.
constexpr ui::Rect kPaneClient{0, 0, 320, 480};

}  // namespace

com::HRESULT PaneObject::AttachControl(const com::CLSID& clsid) {
  com::ComPtr<com::IUnknown> control;
  if (const com::HRESULT hr = com::CoCreateInstance(clsid, nullptr, com::CLSCTX_INPROC_SERVER, com::IID_IUnknown,
                                                    control.OutVoid());
      FAILED(hr))
    return hr;
  com::ComPtr<external::IHostedControl> hosted;
  if (const com::HRESULT hr = control.As(hosted); FAILED(hr)) return hr;
  external::HostWindowHandle handle = 0;
  if (Window() == nullptr) return com::E_UNEXPECTED;
  if (const com::HRESULT hr = hosted->CreateControlWindow(window_, &handle); FAILED(hr)) return hr;
  ui::Window* created = ui::FromHandle(handle);
  if (created == nullptr) return com::E_FAIL;
  created->Move(kPaneClient);
  control_ = std::move(control);
  controlWindow_ = handle;
  return com::S_OK;
}

com::HRESULT PaneObject::get_Visible(com::VARIANT_BOOL* visible) {
  if (visible == nullptr) return com::E_POINTER;
  *visible = visible_ ? com::VARIANT_TRUE : com::VARIANT_FALSE;
  return com::S_OK;
}

com::HRESULT PaneObject::put_Visible(com::VARIANT_BOOL visible) {
  ui::Window* window = Window();
  if (window == nullptr) return com::E_UNEXPECTED;
  visible_ = visible != 0;
  window->Show(visible_);
  return com::S_OK;
}

com::HRESULT PaneObject::put_Caption(com::BSTR caption) {
  caption_ = Text(caption);
  if (ui::Window* window = Window()) window->SetText(caption_);
  return com::S_OK;
}

com::HRESULT PaneObject::get_Caption(com::BSTR* caption) { return GiveOutText(caption_, caption); }

com::HRESULT PanesObject::Item(com::VARIANT name, external::IHostPane** pane) {
  if (pane == nullptr) return com::E_POINTER;
  *pane = nullptr;
  const std::shared_ptr<HostState> state = state_.lock();
  if (!state) return com::E_UNEXPECTED;
  const std::optional<std::u16string> wanted = com::Variant(name).AsString();
  if (!wanted) return com::E_INVALIDARG;
  for (const auto& existing : state->panes)
    if (existing->Name() == *wanted) return GiveOut(existing, pane);
  return com::S_FALSE;
}

com::HRESULT PanesObject::Add(com::BSTR name, com::BSTR caption, com::BSTR progId, com::LONG,
                              external::IHostPane** pane) {
  if (pane == nullptr) return com::E_POINTER;
  *pane = nullptr;
  const std::shared_ptr<HostState> state = state_.lock();
  if (!state || !state->frame) return com::E_UNEXPECTED;
  const std::u16string paneName = Text(name);
  for (const auto& existing : state->panes)
    if (existing->Name() == paneName) return GiveOut(existing, pane);
  com::CLSID clsid{};
  const std::u16string classText = Text(progId);
  if (const com::HRESULT hr = com::CLSIDFromProgID(classText.c_str(), &clsid); FAILED(hr)) return hr;
  // Panes start hidden; the add-in shows them when the user asks.
  auto window = std::make_unique<ui::Window>(u"QuoralPDFPane");
  window->SetText(Text(caption));
  window->Show(false);
  ui::Window* paneWindow = state->frame->AddChild(std::move(window));
  com::ComPtr<PaneObject> created;
  const com::HRESULT made = PaneObject::Create(created, paneName, Text(caption), classText, paneWindow->Handle());
  if (FAILED(made)) return made;
  if (const com::HRESULT hr = created->AttachControl(clsid); FAILED(hr)) return hr;
  state->panes.push_back(created);
  return GiveOut(created, pane);
}

}  // namespace sealrun::platform::host
