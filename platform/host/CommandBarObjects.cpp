#include "platform/host/CommandBarObjects.h"

#include "platform/com/Bstr.h"
#include "platform/host/HostState.h"

namespace sealrun::platform::host {
namespace {

std::u16string Text(com::BSTR text) { return {text ? text : u"", com::SysStringLen(text)}; }

bool IsMissing(const com::VARIANT& value) {
  return value.vt == com::VT_EMPTY || (value.vt == com::VT_ERROR && value.scode == com::DISP_E_PARAMNOTFOUND);
}

}  // namespace

com::HRESULT ControlObject::get_Id(com::LONG* id) {
  if (id == nullptr) return com::E_POINTER;
  *id = id_;
  return com::S_OK;
}

com::HRESULT ControlObject::put_Caption(com::BSTR caption) {
  caption_ = Text(caption);
  return com::S_OK;
}

com::HRESULT ControlObject::get_Caption(com::BSTR* caption) { return GiveOutText(caption_, caption); }

com::HRESULT ControlObject::put_TooltipText(com::BSTR text) {
  tooltip_ = Text(text);
  return com::S_OK;
}

com::HRESULT ControlObject::put_Style(com::LONG style) {
  style_ = style;
  return com::S_OK;
}

com::HRESULT ControlObject::put_Image(com::LONG image) {
  image_ = image;
  return com::S_OK;
}

com::ComPtr<ControlObject> CommandBarObject::AddControl() {
  const std::shared_ptr<HostState> state = state_.lock();
  com::ComPtr<ControlObject> control;
  if (!state || FAILED(ControlObject::Create(control, state->nextControlId))) return nullptr;
  ++state->nextControlId;
  controls_.push_back(control);
  return control;
}

com::HRESULT CommandBarObject::get_Controls(external::IHostControls** controls) {
  com::ComPtr<ControlsObject> object;
  if (const com::HRESULT hr = ControlsObject::Create(object, com::ComPtr<CommandBarObject>(this)); FAILED(hr))
    return hr;
  return GiveOut(object, controls);
}

com::HRESULT CommandBarObject::Finish() {
  finished_ = true;
  return com::S_OK;
}

com::HRESULT CommandBarObject::ShowPopup(com::VARIANT x, com::VARIANT y) {
  const std::shared_ptr<HostState> state = state_.lock();
  if (!state) return com::E_UNEXPECTED;
  if (!popup_) return com::E_FAIL;
  ShownPopup shown{com::ComPtr<CommandBarObject>(this), std::nullopt};
  if (!IsMissing(x) || !IsMissing(y)) {
    com::Variant px;
    com::Variant py;
    if (FAILED(com::VariantChangeType(px.Out(), &x, 0, com::VT_R8)) ||
        FAILED(com::VariantChangeType(py.Out(), &y, 0, com::VT_R8)))
      return com::E_INVALIDARG;
    shown.at = Point{px.Get()->dblVal, py.Get()->dblVal};
  } else {
    shown.at = state->pointer;
  }
  state->popup = std::move(shown);
  return com::S_OK;
}

com::HRESULT CommandBarObject::get_Name(com::BSTR* name) { return GiveOutText(name_, name); }

com::HRESULT ControlsObject::Add(com::VARIANT, com::VARIANT, com::VARIANT, com::IDispatch** control) {
  if (control == nullptr) return com::E_POINTER;
  *control = nullptr;
  const com::ComPtr<ControlObject> created = bar_->AddControl();
  if (!created) return com::E_UNEXPECTED;
  return GiveOut(created, control);
}

com::HRESULT ControlsObject::get_Count(com::LONG* count) {
  if (count == nullptr) return com::E_POINTER;
  *count = static_cast<com::LONG>(bar_->Controls().size());
  return com::S_OK;
}

com::HRESULT CommandBarsObject::Item(com::VARIANT name, external::IHostCommandBar** bar) {
  if (bar == nullptr) return com::E_POINTER;
  *bar = nullptr;
  const std::shared_ptr<HostState> state = state_.lock();
  if (!state) return com::E_UNEXPECTED;
  const std::optional<std::u16string> wanted = com::Variant(name).AsString();
  if (!wanted) return com::E_INVALIDARG;
  for (const auto& existing : state->commandBars)
    if (existing->Name() == *wanted) return GiveOut(existing, bar);
  return com::S_FALSE;
}

com::HRESULT CommandBarsObject::Add(com::BSTR name, com::VARIANT type, external::IHostCommandBar** bar) {
  if (bar == nullptr) return com::E_POINTER;
  *bar = nullptr;
  const std::shared_ptr<HostState> state = state_.lock();
  if (!state) return com::E_UNEXPECTED;
  bool popup = false;
  if (!IsMissing(type)) {
    const std::optional<int32_t> kind = com::Variant(type).AsInt();
    if (!kind) return com::E_INVALIDARG;
    popup = *kind == external::kHostCommandBarPopup;
  }
  com::ComPtr<CommandBarObject> created;
  if (const com::HRESULT hr = CommandBarObject::Create(created, state_, Text(name), popup); FAILED(hr)) return hr;
  state->commandBars.push_back(created);
  return GiveOut(created, bar);
}

com::HRESULT ImageServiceObject::Register(com::VARIANT bitmap, com::LONG, com::LONG* image) {
  if (image == nullptr) return com::E_POINTER;
  *image = 0;
  const std::shared_ptr<HostState> state = state_.lock();
  if (!state) return com::E_UNEXPECTED;
  if (bitmap.vt != (com::VT_BYREF | com::VT_UI1) || bitmap.byref == nullptr) return com::E_INVALIDARG;
  state->images.push_back(*static_cast<const imaging::Image*>(bitmap.byref));
  *image = static_cast<com::LONG>(state->images.size());
  return com::S_OK;
}

}  // namespace sealrun::platform::host
