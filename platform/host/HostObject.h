#pragma once
// The base of the host's COM objects: reference counting (ComObject) and the IDispatch half of their dual
// interfaces. Callers use the interface slots; members reached by dispatch id are answered by
// InvokeMember (nothing by default) inside the guard, names are not published.
#include "platform/com/ComObject.h"
#include "platform/com/Guard.h"

namespace sealrun::platform::host {

namespace com = sealrun::platform::com;
using com::FAILED;
using com::SUCCEEDED;

template <typename Derived, typename First, typename... Rest>
class HostObject : public com::ComObject<Derived, First, Rest...> {
 public:
  com::HRESULT GetTypeInfoCount(com::UINT* count) override {
    if (count == nullptr) return com::E_POINTER;
    *count = 0;
    return com::S_OK;
  }
  com::HRESULT GetTypeInfo(com::UINT, com::LCID, com::ITypeInfo** typeInfo) override {
    if (typeInfo != nullptr) *typeInfo = nullptr;
    return com::DISP_E_BADINDEX;
  }
  com::HRESULT GetIDsOfNames(com::REFIID, com::LPOLESTR*, com::UINT count, com::LCID, com::DISPID* ids) override {
    if (ids != nullptr)
      for (com::UINT i = 0; i < count; ++i) ids[i] = com::DISPID_UNKNOWN;
    return com::DISP_E_UNKNOWNNAME;
  }
  com::HRESULT Invoke(com::DISPID member, com::REFIID iid, com::LCID, com::WORD flags, com::DISPPARAMS* params,
                      com::VARIANT* result, com::EXCEPINFO*, com::UINT*) override {
    if (!(iid == com::IID_NULL)) return com::DISP_E_UNKNOWNINTERFACE;
    if (params == nullptr) return com::E_INVALIDARG;
    return com::Guard({com::ClassName<Derived>(), "Invoke"},
                      [&] { return InvokeMember(member, flags, *params, result); });
  }

 protected:
  virtual com::HRESULT InvokeMember(com::DISPID, com::WORD, com::DISPPARAMS&, com::VARIANT*) {
    return com::DISP_E_MEMBERNOTFOUND;
  }
};

// Hands a new reference of `object` (any interface it implements) to an out parameter; S_FALSE for null.
template <typename I, typename T>
com::HRESULT GiveOut(const com::ComPtr<T>& object, I** out) {
  if (out == nullptr) return com::E_POINTER;
  *out = nullptr;
  if (!object) return com::S_FALSE;
  I* answer = static_cast<I*>(object.Get());
  answer->AddRef();
  *out = answer;
  return com::S_OK;
}

// A copy of `text` for a BSTR out parameter.
com::HRESULT GiveOutText(std::u16string_view text, com::BSTR* out);

}  // namespace sealrun::platform::host
