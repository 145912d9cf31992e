// The module's entry points: the class objects of the add-in and of the pane, and self-registration
// (DllInstall "user" writes the per-user hive).
#include "addin/AddinIds.h"
#include "addin/ModuleRegistration.h"
#include "addin/RunDialogRegistration.h"
#include "addin/SealrunPdf.h"
#include "addin/VerifyDialogRegistration.h"
#include "platform/com/Registration.h"
#include "platform/com/ServerModule.h"
#include "workbench/QPXBatchPane.h"

using namespace sealrun::platform::com;

namespace {

const ServerClass kClasses[] = {
    ServedClass<sealrun::addin::CSealrunPDF>(sealrun::addin::kSealrunPdfClsid),
    ServedClass<sealrun::workbench::CQPXBatchPane>(sealrun::addin::kBatchPaneClsid),
};

// The pane finds the dialogs of its runs from the moment the module is loaded.
[[maybe_unused]] const bool kRunDialogsRegistered = (sealrun::addin::RegisterRunDialogs(), true);
[[maybe_unused]] const bool kVerifyDialogsRegistered = (sealrun::addin::RegisterVerifyDialogs(), true);

std::u16string ThisModulePath() { return ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer)); }

}  // namespace

HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return GetServerClassObject(kClasses, clsid, iid, object);
}

HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(); }

HRESULT DllRegisterServer() {
  return Guard("DllRegisterServer",
               [] { return sealrun::addin::RegisterModule(ThisModulePath(), RegistrationScope::Machine); });
}

HRESULT DllUnregisterServer() {
  return Guard("DllUnregisterServer",
               [] { return sealrun::addin::UnregisterModule(ThisModulePath(), RegistrationScope::Machine); });
}

HRESULT DllInstall(BOOL install, LPCOLESTR commandLine) {
  return Guard("DllInstall", [&] {
    const RegistrationScope scope = ScopeFromInstallCommandLine(commandLine);
    if (!install) return sealrun::addin::UnregisterModule(ThisModulePath(), scope);
    return sealrun::addin::RegisterModule(ThisModulePath(), scope);
  });
}
