#include "platform/com/Variant.h"

#include <cstring>
#include <new>

#include "platform/com/Interfaces.h"

namespace sealrun::platform::com {
namespace {

bool IsKnownType(VARTYPE vt) {
  if (vt & VT_BYREF) vt &= static_cast<VARTYPE>(~VT_BYREF);
  switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_DATE: case VT_BSTR:
    case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_UNKNOWN: case VT_I1: case VT_UI1: case VT_UI2:
    case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
      return true;
    case VT_VARIANT:
      return true;  // only valid by reference; checked by the callers that care
    default:
      return false;
  }
}

// Copies a non-reference value that may own something.
HRESULT CopyOwned(VARIANT* target, const VARIANT& source) {
  VARIANT copy;
  std::memcpy(&copy, &source, sizeof copy);
  if (source.vt == VT_BSTR && source.bstrVal != nullptr) {
    copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(source.bstrVal), SysStringByteLen(source.bstrVal));
    if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
  } else if ((source.vt == VT_DISPATCH || source.vt == VT_UNKNOWN) && source.punkVal != nullptr) {
    source.punkVal->AddRef();
  }
  std::memcpy(target, &copy, sizeof copy);
  return S_OK;
}

}  // namespace

void VariantInit(VARIANT* value) {
  if (value == nullptr) return;
  std::memset(value, 0, sizeof *value);
  value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* value) {
  if (value == nullptr) return E_INVALIDARG;
  if (!IsKnownType(value->vt) || value->vt == VT_VARIANT) return DISP_E_BADVARTYPE;
  if (value->vt == VT_BSTR) {
    SysFreeString(value->bstrVal);
  } else if ((value->vt == VT_DISPATCH || value->vt == VT_UNKNOWN) && value->punkVal != nullptr) {
    value->punkVal->Release();
  }
  VariantInit(value);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* target, const VARIANT* source) {
  if (target == nullptr || source == nullptr) return E_INVALIDARG;
  if (target == source) return S_OK;
  if (!IsKnownType(source->vt) || source->vt == VT_VARIANT) return DISP_E_BADVARTYPE;
  // Copy first so that a failed copy leaves the target as it was.
  VARIANT copy;
  if (source->vt & VT_BYREF) {
    std::memcpy(&copy, source, sizeof copy);
  } else if (const HRESULT hr = CopyOwned(&copy, *source); FAILED(hr)) {
    return hr;
  }
  if (const HRESULT hr = VariantClear(target); FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  std::memcpy(target, &copy, sizeof copy);
  return S_OK;
}

HRESULT VariantCopyInd(VARIANT* target, const VARIANT* source) {
  if (target == nullptr || source == nullptr) return E_INVALIDARG;
  if (!(source->vt & VT_BYREF)) return VariantCopy(target, source);
  if (source->byref == nullptr) return E_INVALIDARG;
  const auto vt = static_cast<VARTYPE>(source->vt & ~VT_BYREF);
  if (vt == VT_VARIANT) {
    const VARIANT* inner = source->pvarVal;
    if (inner->vt == (VT_BYREF | VT_VARIANT)) return E_INVALIDARG;
    return VariantCopyInd(target, inner);
  }
  if (!IsKnownType(vt)) return DISP_E_BADVARTYPE;
  VARIANT value;
  VariantInit(&value);
  value.vt = vt;
  switch (vt) {
    case VT_I2: value.iVal = *source->piVal; break;
    case VT_I4: case VT_INT: case VT_ERROR: value.lVal = *source->plVal; break;
    case VT_UI4: case VT_UINT: value.ulVal = *source->pulVal; break;
    case VT_R4: value.fltVal = *source->pfltVal; break;
    case VT_R8: case VT_DATE: value.dblVal = *source->pdblVal; break;
    case VT_BOOL: value.boolVal = *source->pboolVal; break;
    case VT_UI1: case VT_I1: value.bVal = *source->pbVal; break;
    case VT_UI2: value.uiVal = *source->puiVal; break;
    case VT_I8: value.llVal = *source->pllVal; break;
    case VT_UI8: value.ullVal = *source->pullVal; break;
    case VT_BSTR: value.bstrVal = *source->pbstrVal; break;
    case VT_DISPATCH: value.pdispVal = *source->ppdispVal; break;
    case VT_UNKNOWN: value.punkVal = *source->ppunkVal; break;
    default: break;  // VT_EMPTY, VT_NULL carry nothing
  }
  // `value` borrows; VariantCopy makes the owned copy.
  return VariantCopy(target, &value);
}

void ClearExcepInfo(EXCEPINFO* info) {
  if (info == nullptr) return;
  SysFreeString(info->bstrSource);
  SysFreeString(info->bstrDescription);
  SysFreeString(info->bstrHelpFile);
  std::memset(info, 0, sizeof *info);
}

Variant::Variant(int32_t value) : Variant() {
  value_.vt = VT_I4;
  value_.lVal = value;
}

Variant::Variant(bool value) : Variant() {
  value_.vt = VT_BOOL;
  value_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

Variant::Variant(double value) : Variant() {
  value_.vt = VT_R8;
  value_.dblVal = value;
}

Variant::Variant(std::u16string_view text) : Variant() {
  Bstr copy(text);
  value_.vt = VT_BSTR;
  value_.bstrVal = copy.Detach();
}

Variant::Variant(IDispatch* object) : Variant() {
  value_.vt = VT_DISPATCH;
  value_.pdispVal = object;
  if (object != nullptr) object->AddRef();
}

Variant::Variant(IUnknown* object) : Variant() {
  value_.vt = VT_UNKNOWN;
  value_.punkVal = object;
  if (object != nullptr) object->AddRef();
}

Variant::Variant(const VARIANT& other) : Variant() {
  const HRESULT hr = VariantCopy(&value_, &other);
  if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
}

Variant::Variant(const Variant& other) : Variant(other.value_) {}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) *this = Variant(other);
  return *this;
}

Variant::Variant(Variant&& other) noexcept : Variant() { other.Detach(&value_); }

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) {
    VariantClear(&value_);
    other.Detach(&value_);
  }
  return *this;
}

Variant Variant::Missing() {
  Variant v;
  v.value_.vt = VT_ERROR;
  v.value_.scode = DISP_E_PARAMNOTFOUND;
  return v;
}

Variant Variant::Null() {
  Variant v;
  v.value_.vt = VT_NULL;
  return v;
}

Variant Variant::I2(int16_t value) {
  Variant v;
  v.value_.vt = VT_I2;
  v.value_.iVal = value;
  return v;
}

Variant Variant::UI4(uint32_t value) {
  Variant v;
  v.value_.vt = VT_UI4;
  v.value_.ulVal = value;
  return v;
}

Variant Variant::UI8(uint64_t value) {
  Variant v;
  v.value_.vt = VT_UI8;
  v.value_.ullVal = value;
  return v;
}

Variant Variant::UI1(uint8_t value) {
  Variant v;
  v.value_.vt = VT_UI1;
  v.value_.bVal = value;
  return v;
}

Variant Variant::AttachBstr(BSTR value) {
  Variant v;
  v.value_.vt = VT_BSTR;
  v.value_.bstrVal = value;
  return v;
}

Variant Variant::ByRef(VARTYPE type, void* target) {
  Variant v;
  v.value_.vt = static_cast<VARTYPE>(type | VT_BYREF);
  v.value_.byref = target;
  return v;
}

VARIANT* Variant::Out() {
  VariantClear(&value_);
  return &value_;
}

void Variant::Detach(VARIANT* target) {
  std::memcpy(target, &value_, sizeof value_);
  VariantInit(&value_);
}

std::optional<std::u16string> Variant::AsString() const {
  Variant converted;
  if (FAILED(VariantChangeType(converted.Get(), &value_, 0, VT_BSTR))) return std::nullopt;
  const BSTR text = converted.value_.bstrVal;
  return std::u16string(text ? text : u"", SysStringLen(text));
}

std::optional<int32_t> Variant::AsInt() const {
  Variant converted;
  if (FAILED(VariantChangeType(converted.Get(), &value_, 0, VT_I4))) return std::nullopt;
  return converted.value_.lVal;
}

std::optional<bool> Variant::AsBool() const {
  Variant converted;
  if (FAILED(VariantChangeType(converted.Get(), &value_, 0, VT_BOOL))) return std::nullopt;
  return converted.value_.boolVal != VARIANT_FALSE;
}

}  // namespace sealrun::platform::com
