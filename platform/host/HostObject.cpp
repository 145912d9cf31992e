#include "platform/host/HostObject.h"

#include "platform/com/Bstr.h"

namespace sealrun::platform::host {

com::HRESULT GiveOutText(std::u16string_view text, com::BSTR* out) {
  if (out == nullptr) return com::E_POINTER;
  *out = com::SysAllocStringLen(text.data(), static_cast<com::UINT>(text.size()));
  return *out == nullptr ? com::E_OUTOFMEMORY : com::S_OK;
}

}  // namespace sealrun::platform::host
