// The seal key module's entry points: class object, unloading, and registration per machine
// (DllRegisterServer) or per user (DllInstall with "user").
#include "components/sealkey/KeyObject.h"
#include "components/sealkey/KeyObjectIds.h"
#include "platform/com/ClassServerEntries.h"

namespace sealrun::components::sealkey {
namespace {

using namespace platform::com;

const ServerClass kClasses[] = {ServedClass<KeyObject>(kKeyObjectClsid)};

ServerRegistration KeyObjectRegistration() {
  ServerRegistration registration;
  registration.clsid = kKeyObjectClsid;
  registration.description = kKeyObjectDescription;
  registration.modulePath = ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
  registration.threadingModel = u"Apartment";
  registration.progId = kKeyObjectProgId;
  registration.versionIndependentProgId = kKeyObjectVersionIndependentProgId;
  registration.programmable = true;
  return registration;
}

}  // namespace
}  // namespace sealrun::components::sealkey

using namespace sealrun::platform::com;
namespace sealkey = sealrun::components::sealkey;

HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return GetServerClassObject(sealkey::kClasses, clsid, iid, object);
}

HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(); }

HRESULT DllRegisterServer() { return RegisterClassServer(sealkey::KeyObjectRegistration); }

HRESULT DllUnregisterServer() { return UnregisterClassServer(sealkey::KeyObjectRegistration); }

HRESULT DllInstall(BOOL install, LPCOLESTR commandLine) {
  return InstallClassServer(sealkey::KeyObjectRegistration, install, commandLine);
}
