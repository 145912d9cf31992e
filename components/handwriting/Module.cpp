// The handwriting module's entry points: class object, unloading, and registration per machine
// (DllRegisterServer) or per user (DllInstall with "user").
#include "components/handwriting/HandwritingObject.h"
#include "components/handwriting/HandwritingIds.h"
#include "platform/com/ClassServerEntries.h"

namespace sealrun::components::handwriting {
namespace {

using namespace platform::com;

const ServerClass kClasses[] = {ServedClass<HandwritingObject>(kHandwritingClsid)};

ServerRegistration HandwritingRegistration() {
  ServerRegistration registration;
  registration.clsid = kHandwritingClsid;
  registration.description = kHandwritingDescription;
  registration.modulePath = ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
  registration.threadingModel = u"Apartment";
  registration.progId = kHandwritingProgId;
  registration.versionIndependentProgId = kHandwritingVersionIndependentProgId;
  registration.programmable = true;
  return registration;
}

}  // namespace
}  // namespace sealrun::components::handwriting

using namespace sealrun::platform::com;
namespace handwriting = sealrun::components::handwriting;

HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return GetServerClassObject(handwriting::kClasses, clsid, iid, object);
}

HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(); }

HRESULT DllRegisterServer() { return RegisterClassServer(handwriting::HandwritingRegistration); }

HRESULT DllUnregisterServer() { return UnregisterClassServer(handwriting::HandwritingRegistration); }

HRESULT DllInstall(BOOL install, LPCOLESTR commandLine) {
  return InstallClassServer(handwriting::HandwritingRegistration, install, commandLine);
}
