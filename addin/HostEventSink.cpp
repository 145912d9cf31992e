#include "addin/HostEventSink.h"

#include "external/HostViewer.h"
#include "platform/com/Guard.h"
#include "platform/com/Variant.h"

namespace sealrun::addin {

using namespace platform::com;

namespace {

// Reads an unsigned number however the host packed it (UI4, UI8, I4, I8, or by reference).
bool ReadUnsigned(const VARIANT& value, ULONGLONG& out) {
  Variant converted;
  if (FAILED(VariantChangeType(converted.Get(), &value, 0, VT_UI8))) return false;
  out = converted.Get()->ullVal;
  return true;
}

}  // namespace

HRESULT HostEventSink::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == external::DIID_HostEvents) {
    AddRef();
    *object = static_cast<IDispatch*>(this);
    return S_OK;
  }
  return E_NOINTERFACE;
}

HRESULT HostEventSink::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT HostEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT HostEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) {
  for (UINT i = 0; ids != nullptr && i < count; ++i) ids[i] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

// The host's event loop calls in here: whatever a handler throws (it opens files, decodes pictures, writes
// settings) stays in the add-in, and the host gets a failure.
HRESULT HostEventSink::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
  if (params == nullptr) return E_INVALIDARG;
  return Guard("HostEventSink::Invoke", [&] { return Deliver(member, *params); });
}

HRESULT HostEventSink::Deliver(DISPID member, const DISPPARAMS& params) {
  // Arguments arrive in reverse order: the first argument is the last element.
  const auto arg = [&](UINT index) -> const VARIANT& { return params.rgvarg[params.cArgs - 1 - index]; };
  if (member == external::kHostEventCommand) {
    if (params.cArgs != 2) return DISP_E_BADPARAMCOUNT;
    ULONGLONG first = 0;
    ULONGLONG id = 0;
    if (!ReadUnsigned(arg(0), first) || !ReadUnsigned(arg(1), id)) return DISP_E_TYPEMISMATCH;
    return handlers_->OnCommand(static_cast<uint32_t>(first), static_cast<uint32_t>(id));
  }
  if (member != external::kHostEventMouse && member != external::kHostEventClick &&
      member != external::kHostEventContext && member != external::kHostEventSetCursor)
    return S_OK;  // events the add-in does not follow
  if (params.cArgs != 4) return DISP_E_BADPARAMCOUNT;
  const VARIANT& viewArg = arg(0);
  IDispatch* view = viewArg.vt == VT_DISPATCH ? viewArg.pdispVal : nullptr;
  ULONGLONG w = 0;
  ULONGLONG l = 0;
  if (!ReadUnsigned(arg(1), w) || !ReadUnsigned(arg(2), l)) return DISP_E_TYPEMISMATCH;
  const VARIANT& handledArg = arg(3);
  VARIANT_BOOL scratch = 0;
  VARIANT_BOOL* handled = handledArg.vt == (VT_BYREF | VT_BOOL) && handledArg.pboolVal ? handledArg.pboolVal : &scratch;
  switch (member) {
    case external::kHostEventMouse: return handlers_->OnMouseNotify(view, w, l, handled);
    case external::kHostEventClick: return handlers_->OnPlaceClick(view, w, l, handled);
    case external::kHostEventContext: return handlers_->OnContextRequest(view, w, l, handled);
    default: return handlers_->OnSetCursor(view, w, l, handled);
  }
}

}  // namespace sealrun::addin
