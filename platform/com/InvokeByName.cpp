#include "platform/com/InvokeByName.h"

#include <string>
#include <vector>

namespace sealrun::platform::com {

HRESULT GetDispatchId(IDispatch* object, std::u16string_view name, DISPID& id) {
  if (object == nullptr) return E_POINTER;
  std::u16string writable(name);
  LPOLESTR names[] = {writable.data()};
  id = DISPID_UNKNOWN;
  return object->GetIDsOfNames(IID_NULL, names, 1, kAutomationLocale, &id);
}

HRESULT InvokeById(IDispatch* object, DISPID id, WORD flags, std::span<const VARIANT> args, VARIANT* result,
                   EXCEPINFO* exception) {
  if (object == nullptr) return E_POINTER;
  // Shallow copies in reverse order: the callee reads the arguments and frees none of them.
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID putId = DISPID_PROPERTYPUT;
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), put ? &putId : nullptr,
                    static_cast<UINT>(reversed.size()), put && !reversed.empty() ? 1u : 0u};
  UINT argumentError = 0;
  return object->Invoke(id, IID_NULL, kAutomationLocale, flags, &params, result, exception, &argumentError);
}

HRESULT InvokeByName(IDispatch* object, std::u16string_view name, WORD flags, std::span<const VARIANT> args,
                     VARIANT* result, EXCEPINFO* exception) {
  DISPID id = DISPID_UNKNOWN;
  if (const HRESULT hr = GetDispatchId(object, name, id); FAILED(hr)) return hr == E_POINTER ? hr : DISP_E_UNKNOWNNAME;
  return InvokeById(object, id, flags, args, result, exception);
}

HRESULT InvokeByName(IDispatch* object, std::u16string_view name, WORD flags, std::initializer_list<Variant> args,
                     VARIANT* result, EXCEPINFO* exception) {
  std::vector<VARIANT> values;
  values.reserve(args.size());
  for (const Variant& arg : args) values.push_back(*arg.Get());
  return InvokeByName(object, name, flags, values, result, exception);
}

}  // namespace sealrun::platform::com
