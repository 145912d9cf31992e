#pragma once
// The bodies of the registration entry points of a module that serves one class and registers nothing
// else: DllRegisterServer and DllUnregisterServer work per machine, DllInstall per user when its command
// line says "user", and a registration that fails half-way is taken back. The registration is made inside
// the guard, so nothing it throws leaves the module.
#include "platform/com/Registration.h"
#include "platform/com/ServerModule.h"

namespace sealrun::platform::com {

using MakeServerRegistration = ServerRegistration (*)();

inline HRESULT RegisterClassServer(MakeServerRegistration make) {
  return Guard("DllRegisterServer", [&] { return RegisterServer(make(), RegistrationScope::Machine); });
}

inline HRESULT UnregisterClassServer(MakeServerRegistration make) {
  return Guard("DllUnregisterServer", [&] { return UnregisterServer(make(), RegistrationScope::Machine); });
}

inline HRESULT InstallClassServer(MakeServerRegistration make, BOOL install, LPCOLESTR commandLine) {
  return Guard("DllInstall", [&] {
    const RegistrationScope scope = ScopeFromInstallCommandLine(commandLine);
    const ServerRegistration registration = make();
    if (!install) return UnregisterServer(registration, scope);
    const HRESULT hr = RegisterServer(registration, scope);
    if (FAILED(hr)) UnregisterServer(registration, scope);
    return hr;
  });
}

}  // namespace sealrun::platform::com
