#pragma once
// What an in-process server module includes: the five exported entry points with C linkage and default
// visibility (the module defines them), the module's count of live objects and locks (ComObject.h), a
// class factory for any ComObject class, and the guard that keeps exceptions inside the module (Guard.h):
// every entry point the module defines runs its body in it.
//
//   static const ServerClass kClasses[] = {ServedClass<Counter>(kCounterClsid)};
//   HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
//     return GetServerClassObject(kClasses, clsid, iid, object);
//   }
//   HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(); }
//   HRESULT DllRegisterServer() { return Guard("DllRegisterServer", [] { return RegisterServer(...); }); }
//
// Link the module with sealrun_com_module() (platform/com/CMakeLists.txt) so that it exports the entry
// points and nothing else.
#include <span>

#include "platform/com/ComObject.h"
#include "platform/com/Guard.h"

namespace sealrun::platform::com {

using DllGetClassObjectFunction = HRESULT (*)(REFCLSID clsid, REFIID iid, void** object);
using DllCanUnloadNowFunction = HRESULT (*)();
using DllRegisterServerFunction = HRESULT (*)();
using DllUnregisterServerFunction = HRESULT (*)();
using DllInstallFunction = HRESULT (*)(BOOL install, LPCOLESTR commandLine);

// The class factory of a ComObject class: CreateInstance passes the outer unknown through for aggregation;
// LockServer keeps the module loaded.
template <typename T>
class ClassFactory final : public ComObject<ClassFactory<T>, IClassFactory> {
 public:
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    return Guard({ClassName<T>(), "CreateInstance"}, [&] { return T::CreateObject(outer, iid, object); });
  }
  HRESULT LockServer(BOOL lock) override {
    if (lock)
      ++ModuleLockCount();
    else if (ModuleLockCount().load() > 0)
      --ModuleLockCount();
    return S_OK;
  }
  static HRESULT Make(REFIID iid, void** object) { return ClassFactory::CreateObject(nullptr, iid, object); }
};

struct ServerClass {
  CLSID clsid;
  HRESULT (*makeFactory)(REFIID iid, void** object);
};

template <typename T>
ServerClass ServedClass(const CLSID& clsid) {
  return {clsid, &ClassFactory<T>::Make};
}

// DllGetClassObject over the module's classes; CLASS_E_CLASSNOTAVAILABLE for any other class.
inline HRESULT GetServerClassObject(std::span<const ServerClass> classes, REFCLSID clsid, REFIID iid,
                                    void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  for (const ServerClass& served : classes)
    if (served.clsid == clsid) return Guard("DllGetClassObject", [&] { return served.makeFactory(iid, object); });
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace sealrun::platform::com

extern "C" {
[[gnu::visibility("default")]] sealrun::platform::com::HRESULT DllGetClassObject(
    sealrun::platform::com::REFCLSID clsid, sealrun::platform::com::REFIID iid, void** object);
[[gnu::visibility("default")]] sealrun::platform::com::HRESULT DllCanUnloadNow();
[[gnu::visibility("default")]] sealrun::platform::com::HRESULT DllRegisterServer();
[[gnu::visibility("default")]] sealrun::platform::com::HRESULT DllUnregisterServer();
[[gnu::visibility("default")]] sealrun::platform::com::HRESULT DllInstall(sealrun::platform::com::BOOL install,
                                                                        sealrun::platform::com::LPCOLESTR commandLine);
}
