// The module's entry points: class objects, unloading and registration of the certificate library.
#include "components/certlib/CertLibrary.h"
#include "components/certlib/CertLibraryIds.h"
#include "platform/com/ClassServerEntries.h"

namespace sealrun::components::certlib {
namespace {

const platform::com::ServerClass kClasses[] = {platform::com::ServedClass<CertLibrary>(kCertLibraryClsid)};

platform::com::ServerRegistration CertLibraryRegistration() {
  platform::com::ServerRegistration registration;
  registration.clsid = kCertLibraryClsid;
  registration.description = u"CertLibrary Class";
  registration.modulePath = platform::com::ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
  registration.threadingModel = u"Apartment";
  registration.progId = kCertLibraryProgId;
  registration.versionIndependentProgId = kCertLibraryVersionIndependentProgId;
  registration.programmable = true;
  return registration;
}

}  // namespace
}  // namespace sealrun::components::certlib

using namespace sealrun::platform::com;
using sealrun::components::certlib::CertLibraryRegistration;

HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return GetServerClassObject(sealrun::components::certlib::kClasses, clsid, iid, object);
}

HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(); }

HRESULT DllRegisterServer() { return RegisterClassServer(CertLibraryRegistration); }

HRESULT DllUnregisterServer() { return UnregisterClassServer(CertLibraryRegistration); }

HRESULT DllInstall(BOOL install, LPCOLESTR commandLine) {
  return InstallClassServer(CertLibraryRegistration, install, commandLine);
}
