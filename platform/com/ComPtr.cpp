#include "platform/com/ComPtr.h"

namespace sealrun::platform::com {

bool IsSameObject(IUnknown* a, IUnknown* b) {
  if (a == nullptr || b == nullptr) return a == b;
  ComPtr<IUnknown> identityA;
  ComPtr<IUnknown> identityB;
  if (FAILED(a->QueryInterface(IID_IUnknown, identityA.OutVoid())) ||
      FAILED(b->QueryInterface(IID_IUnknown, identityB.OutVoid())))
    return false;
  return identityA.Get() == identityB.Get();
}

}  // namespace sealrun::platform::com
