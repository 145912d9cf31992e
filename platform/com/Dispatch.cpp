#include "platform/com/Dispatch.h"

#include <cstring>

#include "platform/text/Utf.h"

namespace sealrun::platform::com {
namespace {

bool IsPut(WORD flags) { return (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0; }

const VARIANT& EmptyVariant() {
  static const VARIANT empty{};
  return empty;
}

HRESULT RaiseIn(EXCEPINFO* exception, HRESULT code, std::u16string_view description) {
  if (exception != nullptr) {
    // The caller's structure may be uninitialised: overwrite, never free.
    std::memset(exception, 0, sizeof *exception);
    exception->scode = code;
    exception->bstrDescription = SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
  }
  return DISP_E_EXCEPTION;
}

}  // namespace

DispatchCall::DispatchCall(WORD flags, DISPPARAMS& params, VARIANT* result, EXCEPINFO* exception,
                           UINT* argumentError)
    : flags_(flags),
      params_(params),
      positional_(params.cArgs - params.cNamedArgs),
      scratch_(),
      result_(result ? result : scratch_.Get()),
      exception_(exception),
      argumentError_(argumentError) {}

const VARIANT& DispatchCall::Arg(UINT index) const {
  if (index >= positional_ || params_.rgvarg == nullptr) return EmptyVariant();
  return params_.rgvarg[RawIndex(index)];
}

bool DispatchCall::IsMissing(UINT index) const {
  if (index >= positional_) return true;
  const VARIANT& value = Arg(index);
  return value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND;
}

HRESULT DispatchCall::ArgAs(UINT index, VARTYPE type, Variant& value) {
  if (index >= positional_) return DISP_E_BADPARAMCOUNT;
  const HRESULT hr = VariantChangeType(value.Out(), &Arg(index), 0, type);
  if (FAILED(hr) && argumentError_ != nullptr) *argumentError_ = RawIndex(index);
  return hr;
}

HRESULT DispatchCall::ArgInt(UINT index, int32_t& value) {
  Variant converted;
  if (const HRESULT hr = ArgAs(index, VT_I4, converted); FAILED(hr)) return hr;
  value = converted.Get()->lVal;
  return S_OK;
}

HRESULT DispatchCall::ArgString(UINT index, std::u16string& value) {
  Variant converted;
  if (const HRESULT hr = ArgAs(index, VT_BSTR, converted); FAILED(hr)) return hr;
  const BSTR text = converted.Get()->bstrVal;
  value.assign(text ? text : u"", SysStringLen(text));
  return S_OK;
}

HRESULT DispatchCall::ArgBool(UINT index, bool& value) {
  Variant converted;
  if (const HRESULT hr = ArgAs(index, VT_BOOL, converted); FAILED(hr)) return hr;
  value = converted.Get()->boolVal != VARIANT_FALSE;
  return S_OK;
}

HRESULT DispatchCall::ArgDispatch(UINT index, ComPtr<IDispatch>& value) {
  if (index >= positional_) return DISP_E_BADPARAMCOUNT;
  Variant copy;
  if (const HRESULT hr = VariantCopyInd(copy.Get(), &Arg(index)); FAILED(hr)) return hr;
  const VARIANT& v = *copy.Get();
  value.Reset();
  if ((v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) && v.punkVal == nullptr) return S_OK;
  if (v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) {
    if (SUCCEEDED(v.punkVal->QueryInterface(IID_IDispatch, value.OutVoid()))) return S_OK;
  }
  if (argumentError_ != nullptr) *argumentError_ = RawIndex(index);
  return DISP_E_TYPEMISMATCH;
}

const VARIANT& DispatchCall::PutValue() const {
  if (!IsPut(flags_) || params_.cNamedArgs == 0 || params_.rgvarg == nullptr) return EmptyVariant();
  return params_.rgvarg[0];
}

HRESULT DispatchCall::PutValueAs(VARTYPE type, Variant& value) {
  const HRESULT hr = VariantChangeType(value.Out(), &PutValue(), 0, type);
  if (FAILED(hr) && argumentError_ != nullptr) *argumentError_ = 0;
  return hr;
}

HRESULT DispatchCall::PutInt(int32_t& value) {
  Variant converted;
  if (const HRESULT hr = PutValueAs(VT_I4, converted); FAILED(hr)) return hr;
  value = converted.Get()->lVal;
  return S_OK;
}

HRESULT DispatchCall::PutString(std::u16string& value) {
  Variant converted;
  if (const HRESULT hr = PutValueAs(VT_BSTR, converted); FAILED(hr)) return hr;
  const BSTR text = converted.Get()->bstrVal;
  value.assign(text ? text : u"", SysStringLen(text));
  return S_OK;
}

HRESULT DispatchCall::PutBool(bool& value) {
  Variant converted;
  if (const HRESULT hr = PutValueAs(VT_BOOL, converted); FAILED(hr)) return hr;
  value = converted.Get()->boolVal != VARIANT_FALSE;
  return S_OK;
}

HRESULT DispatchCall::ReturnInt(int32_t value) {
  VariantClear(result_);
  result_->vt = VT_I4;
  result_->lVal = value;
  return S_OK;
}

HRESULT DispatchCall::ReturnBool(bool value) {
  VariantClear(result_);
  result_->vt = VT_BOOL;
  result_->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT DispatchCall::ReturnString(std::u16string_view value) {
  BSTR text = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  if (text == nullptr) return E_OUTOFMEMORY;
  VariantClear(result_);
  result_->vt = VT_BSTR;
  result_->bstrVal = text;
  return S_OK;
}

HRESULT DispatchCall::ReturnVariant(const VARIANT& value) { return VariantCopy(result_, &value); }

HRESULT DispatchCall::Raise(HRESULT code, std::u16string_view description) {
  return RaiseIn(exception_, code, description);
}

HRESULT ChooseDispatchAccess(const DispatchSignature& signature, WORD flags, const DISPPARAMS& params,
                             DispatchAccess& access) {
  if (params.cNamedArgs > params.cArgs || (params.cArgs > 0 && params.rgvarg == nullptr)) return E_INVALIDARG;
  if (IsPut(flags)) {
    if (!signature.put) return DISP_E_MEMBERNOTFOUND;
    if (params.cNamedArgs != 1 || params.rgdispidNamedArgs == nullptr ||
        params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
      return params.cNamedArgs == 0 ? DISP_E_PARAMNOTFOUND : DISP_E_NONAMEDARGS;
    if (params.cArgs - 1 != signature.argCount) return DISP_E_BADPARAMCOUNT;
    access = DispatchAccess::PropertyPut;
    return S_OK;
  }
  if ((flags & DISPATCH_PROPERTYGET) && signature.get) {
    access = DispatchAccess::PropertyGet;
  } else if ((flags & DISPATCH_METHOD) && signature.method) {
    access = DispatchAccess::Method;
  } else {
    return DISP_E_MEMBERNOTFOUND;
  }
  if (params.cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (params.cArgs != signature.argCount) return DISP_E_BADPARAMCOUNT;
  return S_OK;
}

HRESULT LookupDispatchNames(const std::vector<std::u16string>& lowerNames, const std::vector<DISPID>& ids,
                            REFIID iid, LPOLESTR* names, UINT count, DISPID* result) {
  if (!(iid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (count == 0) return S_OK;
  if (names == nullptr || result == nullptr) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) result[i] = DISPID_UNKNOWN;
  if (names[0] == nullptr) return DISP_E_UNKNOWNNAME;
  const std::u16string wanted = text::AsciiLower(std::u16string_view(names[0]));
  for (size_t i = 0; i < lowerNames.size(); ++i) {
    if (lowerNames[i] == wanted) {
      result[0] = ids[i];
      // Named parameters are not supported.
      return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

HRESULT RaiseEscapedException(EXCEPINFO* exception, std::string_view what) noexcept {
  try {
    return RaiseIn(exception, E_FAIL, text::Utf8ToUtf16(what));
  } catch (...) {
    return E_OUTOFMEMORY;  // the text did not fit in memory
  }
}

}  // namespace sealrun::platform::com
