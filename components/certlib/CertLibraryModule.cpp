// The module's entry points: class objects, unloading and registration of the certificate library.
#include "components/certlib/CertLibrary.h"
#include "components/certlib/CertLibraryIds.h"
#include "platform/com/Registration.h"
#include "platform/com/ServerModule.h"

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

HRESULT DllRegisterServer() {
  return GuardEntry([] { return RegisterServer(CertLibraryRegistration(), RegistrationScope::Machine); });
}

HRESULT DllUnregisterServer() {
  return GuardEntry([] { return UnregisterServer(CertLibraryRegistration(), RegistrationScope::Machine); });
}

HRESULT DllInstall(BOOL install, LPCOLESTR commandLine) {
  return GuardEntry([&] {
    const RegistrationScope scope = ScopeFromInstallCommandLine(commandLine);
    const auto registration = CertLibraryRegistration();
    if (!install) return UnregisterServer(registration, scope);
    const HRESULT hr = RegisterServer(registration, scope);
    if (FAILED(hr)) UnregisterServer(registration, scope);
    return hr;
  });
}
