#include "seal/AutomationObject.h"

#include "platform/com/ComRuntime.h"
#include "platform/com/InvokeByName.h"
#include "seal/SealTrace.h"

namespace sealrun::seal {

using namespace platform::com;

AutomationObject AutomationObject::Create(const CLSID& clsid) {
  AutomationObject object;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, object.unknown_.OutVoid());
  if (SUCCEEDED(hr) && !object.unknown_) hr = E_POINTER;
  if (SUCCEEDED(hr)) {
    hr = object.unknown_->QueryInterface(IID_IDispatch, object.dispatch_.OutVoid());
    if (SUCCEEDED(hr) && !object.dispatch_) hr = E_NOINTERFACE;
  }
  if (FAILED(hr)) {
    object.dispatch_.Reset();
    object.unknown_.Reset();
    object.creationResult_ = hr;
    SealTrace(u"组件创建失败 " + FormatGuid(clsid) + u" " + HresultText(hr));
  }
  return object;
}

AutomationObject AutomationObject::FromDispatch(IDispatch* dispatch) {
  AutomationObject object;
  object.dispatch_ = ComPtr<IDispatch>(dispatch);
  if (!dispatch) object.creationResult_ = E_POINTER;
  return object;
}

HRESULT AutomationObject::Invoke(std::u16string_view name, WORD flags, std::initializer_list<Variant> args,
                                 VARIANT* result) const {
  // Never through an empty pointer: a component that is not there answers nothing.
  if (!dispatch_) return E_POINTER;
  return InvokeByName(dispatch_.Get(), name, flags, args, result);
}

HRESULT AutomationObject::Call(std::u16string_view name, std::initializer_list<Variant> args,
                               Variant& result) const {
  return Invoke(name, DISPATCH_METHOD, args, result.Get());
}

HRESULT AutomationObject::Call(std::u16string_view name, std::initializer_list<Variant> args) const {
  Variant ignored;
  return Invoke(name, DISPATCH_METHOD, args, ignored.Get());
}

HRESULT AutomationObject::Get(std::u16string_view name, Variant& result, std::initializer_list<Variant> args) const {
  return Invoke(name, DISPATCH_PROPERTYGET, args, result.Get());
}

HRESULT AutomationObject::Put(std::u16string_view name, const Variant& value) const {
  return Invoke(name, DISPATCH_PROPERTYPUT, {value}, nullptr);
}

}  // namespace sealrun::seal
