#include "platform/com/Registration.h"

#include "platform/fs/KnownFolders.h"
#include "platform/fs/Paths.h"
#include "platform/text/Utf.h"

namespace sealrun::platform::com {
namespace {

LSTATUS WriteKey(HKEY root, const std::u16string& path, const std::u16string* defaultValue) {
  RegKey key;
  if (const LSTATUS status = key.Create(root, path); status != ERROR_SUCCESS) return status;
  return defaultValue ? key.SetString({}, *defaultValue) : ERROR_SUCCESS;
}

LSTATUS RemoveTree(HKEY root, const std::u16string& path) {
  const LSTATUS status = RegDeleteTree(root, path.c_str());
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// A ProgID is removed only while it still names this class.
LSTATUS RemoveProgId(HKEY root, const std::u16string& progId, const std::u16string& clsidText) {
  if (progId.empty()) return ERROR_SUCCESS;
  RegKey clsidKey;
  if (clsidKey.Open(root, progId + u"\\CLSID") == ERROR_SUCCESS) {
    const auto named = clsidKey.QueryString();
    if (named && !text::EqualsIgnoreAsciiCase(*named, clsidText)) return ERROR_SUCCESS;
  }
  clsidKey.Close();
  return RemoveTree(root, progId);
}

}  // namespace

RegistrationScope ScopeFromInstallCommandLine(LPCOLESTR commandLine) {
  if (commandLine != nullptr && text::EqualsIgnoreAsciiCase(std::u16string_view(commandLine), u"user"))
    return RegistrationScope::User;
  return RegistrationScope::Machine;
}

LSTATUS OpenClassesRoot(RegistrationScope scope, bool create, RegKey& key) {
  const HKEY hive = scope == RegistrationScope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  return create ? key.Create(hive, u"Software\\Classes") : key.Open(hive, u"Software\\Classes", KEY_ALL_ACCESS);
}

HRESULT RegisterServer(const ServerRegistration& server, RegistrationScope scope) {
  RegKey root;
  if (OpenClassesRoot(scope, true, root) != ERROR_SUCCESS) return SELFREG_E_CLASS;
  const std::u16string clsidText = FormatGuid(server.clsid);
  const std::u16string classPath = u"CLSID\\" + clsidText;
  bool ok = WriteKey(root.Get(), classPath, &server.description) == ERROR_SUCCESS;
  {
    RegKey inproc;
    ok = ok && inproc.Create(root.Get(), classPath + u"\\InprocServer32") == ERROR_SUCCESS &&
         inproc.SetString({}, server.modulePath) == ERROR_SUCCESS;
    if (ok && !server.threadingModel.empty()) ok = inproc.SetString(u"ThreadingModel", server.threadingModel) == ERROR_SUCCESS;
  }
  if (ok && !server.progId.empty()) ok = WriteKey(root.Get(), classPath + u"\\ProgID", &server.progId) == ERROR_SUCCESS;
  if (ok && !server.versionIndependentProgId.empty())
    ok = WriteKey(root.Get(), classPath + u"\\VersionIndependentProgID", &server.versionIndependentProgId) ==
         ERROR_SUCCESS;
  if (ok && server.programmable) ok = WriteKey(root.Get(), classPath + u"\\Programmable", nullptr) == ERROR_SUCCESS;
  if (ok && server.control) ok = WriteKey(root.Get(), classPath + u"\\Control", nullptr) == ERROR_SUCCESS;
  if (ok && !server.progId.empty()) {
    ok = WriteKey(root.Get(), server.progId, &server.description) == ERROR_SUCCESS &&
         WriteKey(root.Get(), server.progId + u"\\CLSID", &clsidText) == ERROR_SUCCESS;
  }
  if (ok && !server.versionIndependentProgId.empty()) {
    const std::u16string& viProgId = server.versionIndependentProgId;
    ok = WriteKey(root.Get(), viProgId, &server.description) == ERROR_SUCCESS &&
         WriteKey(root.Get(), viProgId + u"\\CLSID", &clsidText) == ERROR_SUCCESS &&
         (server.progId.empty() || WriteKey(root.Get(), viProgId + u"\\CurVer", &server.progId) == ERROR_SUCCESS);
  }
  return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterServer(const ServerRegistration& server, RegistrationScope scope) {
  RegKey root;
  if (const LSTATUS status = OpenClassesRoot(scope, false, root); status != ERROR_SUCCESS)
    return status == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
  const std::u16string clsidText = FormatGuid(server.clsid);
  const bool ok = RemoveProgId(root.Get(), server.versionIndependentProgId, clsidText) == ERROR_SUCCESS &&
                  RemoveProgId(root.Get(), server.progId, clsidText) == ERROR_SUCCESS &&
                  RemoveTree(root.Get(), u"CLSID\\" + clsidText) == ERROR_SUCCESS;
  return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT RegisterTypeLibrary(const TypeLibraryRegistration& library, RegistrationScope scope) {
  RegKey root;
  if (OpenClassesRoot(scope, true, root) != ERROR_SUCCESS) return SELFREG_E_TYPELIB;
  const std::u16string libid = FormatGuid(library.libid);
  const std::u16string versionPath = u"TypeLib\\" + libid + u"\\" + library.version;
  const std::u16string helpDir =
      library.helpDir.empty() ? std::u16string(fs::FolderOf(library.path)) : library.helpDir;
  const std::u16string flags = u"0";
  bool ok = WriteKey(root.Get(), versionPath, &library.name) == ERROR_SUCCESS &&
            WriteKey(root.Get(), versionPath + u"\\0\\win32", &library.path) == ERROR_SUCCESS &&
            WriteKey(root.Get(), versionPath + u"\\FLAGS", &flags) == ERROR_SUCCESS &&
            WriteKey(root.Get(), versionPath + u"\\HELPDIR", &helpDir) == ERROR_SUCCESS;
  const std::u16string proxyStub = FormatGuid(kAutomationProxyStub);
  for (const auto& [iid, name] : library.interfaces) {
    if (!ok) break;
    const std::u16string interfacePath = u"Interface\\" + FormatGuid(iid);
    RegKey typeLib;
    ok = WriteKey(root.Get(), interfacePath, &name) == ERROR_SUCCESS &&
         WriteKey(root.Get(), interfacePath + u"\\ProxyStubClsid32", &proxyStub) == ERROR_SUCCESS &&
         typeLib.Create(root.Get(), interfacePath + u"\\TypeLib") == ERROR_SUCCESS &&
         typeLib.SetString({}, libid) == ERROR_SUCCESS && typeLib.SetString(u"Version", library.version) == ERROR_SUCCESS;
  }
  return ok ? S_OK : SELFREG_E_TYPELIB;
}

HRESULT UnregisterTypeLibrary(const TypeLibraryRegistration& library, RegistrationScope scope) {
  RegKey root;
  if (const LSTATUS status = OpenClassesRoot(scope, false, root); status != ERROR_SUCCESS)
    return status == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_TYPELIB;
  const std::u16string libid = FormatGuid(library.libid);
  bool ok = RemoveTree(root.Get(), u"TypeLib\\" + libid + u"\\" + library.version) == ERROR_SUCCESS;
  {
    RegKey libraryKey;
    if (ok && libraryKey.Open(root.Get(), u"TypeLib\\" + libid) == ERROR_SUCCESS && libraryKey.SubKeyNames().empty()) {
      libraryKey.Close();
      ok = RemoveTree(root.Get(), u"TypeLib\\" + libid) == ERROR_SUCCESS;
    }
  }
  for (const auto& [iid, name] : library.interfaces) {
    const std::u16string interfacePath = u"Interface\\" + FormatGuid(iid);
    RegKey typeLib;
    if (typeLib.Open(root.Get(), interfacePath + u"\\TypeLib") == ERROR_SUCCESS) {
      const auto owner = typeLib.QueryString();
      typeLib.Close();
      if (owner && !text::EqualsIgnoreAsciiCase(*owner, libid)) continue;  // another library's now
    }
    ok = ok && RemoveTree(root.Get(), interfacePath) == ERROR_SUCCESS;
  }
  return ok ? S_OK : SELFREG_E_TYPELIB;
}

std::u16string ModulePathOf(const void* address) { return fs::PathToUtf16(fs::ModulePath(address)); }

}  // namespace sealrun::platform::com
