#pragma once
// Registry entries of an in-process server class, as a module's DllRegisterServer, DllUnregisterServer and
// DllInstall write and remove them.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com/Guid.h"
#include "platform/com/RegKey.h"

namespace sealrun::platform::com {

// Machine: HKLM\Software\Classes (what HKCR writes to); User: HKCU\Software\Classes (per-user install).
enum class RegistrationScope { Machine, User };

struct ServerRegistration {
  CLSID clsid{};
  std::u16string description;               // default value of CLSID\{clsid} and of the ProgIDs
  std::u16string modulePath;                // InprocServer32
  std::u16string threadingModel;            // empty: no ThreadingModel value (the main apartment)
  std::u16string progId;                    // "Vendor.Class.1"; empty: none
  std::u16string versionIndependentProgId;  // "Vendor.Class" with CurVer = progId; empty: none
  bool programmable = false;                // the "Programmable" key
  bool control = false;                     // the "Control" key
};

// The scope DllInstall's command line asks for: "user" (any case) means the per-user hive.
RegistrationScope ScopeFromInstallCommandLine(LPCOLESTR commandLine);
// Opens (creating when asked) the classes root of a scope, for a module's further keys.
LSTATUS OpenClassesRoot(RegistrationScope scope, bool create, RegKey& key);

// Writes CLSID\{clsid} (description, InprocServer32, ProgID, VersionIndependentProgID, Programmable,
// Control) and the ProgID keys (CLSID, CurVer). SELFREG_E_CLASS when a key cannot be written.
HRESULT RegisterServer(const ServerRegistration& server, RegistrationScope scope);
// Removes CLSID\{clsid} and the ProgID keys that name this class (another class's ProgID stays). Missing
// keys are not an error.
HRESULT UnregisterServer(const ServerRegistration& server, RegistrationScope scope);

// A type library and the automation interfaces it describes, as RegisterTypeLib records them.
struct TypeLibraryRegistration {
  GUID libid{};
  std::u16string version = u"1.0";
  std::u16string name;      // default value of TypeLib\{libid}\{version}
  std::u16string path;      // the file holding the library (the module itself)
  std::u16string helpDir;   // HELPDIR; empty: the folder of `path`
  std::vector<std::pair<IID, std::u16string>> interfaces;  // dual and dispatch interfaces with their names
};

// The automation marshaller's class, the proxy-stub of every dual interface.
inline constexpr CLSID kAutomationProxyStub{0x00020424, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Writes TypeLib\{libid}\{version} (name, 0\win32, FLAGS, HELPDIR) and Interface\{iid} (name,
// ProxyStubClsid32, TypeLib with Version). SELFREG_E_TYPELIB when a key cannot be written.
HRESULT RegisterTypeLibrary(const TypeLibraryRegistration& library, RegistrationScope scope);
// Removes the version's key (and the library's key when no other version remains) and the interfaces'
// keys that still point to this library.
HRESULT UnregisterTypeLibrary(const TypeLibraryRegistration& library, RegistrationScope scope);

// The full path of the module that contains `address` (pass the address of one of its functions).
std::u16string ModulePathOf(const void* address);

}  // namespace sealrun::platform::com
