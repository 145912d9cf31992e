#include "platform/com/ComRuntime.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/com/ComPtr.h"
#include "platform/com/RegKey.h"
#include "platform/com/ServerModule.h"
#include "platform/fs/DebugTrace.h"
#include "platform/fs/Paths.h"
#include "platform/text/Utf.h"

namespace sealrun::platform::com {
namespace {

void Trace(const std::string& line) { fs::DebugTrace(std::string_view("com: " + line)); }

// One loaded server; closes its handle when unloaded.
class LoadedServer {
 public:
  LoadedServer(void* handle, DllGetClassObjectFunction getClassObject, DllCanUnloadNowFunction canUnloadNow)
      : handle_(handle), getClassObject_(getClassObject), canUnloadNow_(canUnloadNow) {}
  LoadedServer(LoadedServer&& other) noexcept
      : handle_(std::exchange(other.handle_, nullptr)),
        getClassObject_(other.getClassObject_),
        canUnloadNow_(other.canUnloadNow_) {}
  LoadedServer(const LoadedServer&) = delete;
  LoadedServer& operator=(const LoadedServer&) = delete;
  LoadedServer& operator=(LoadedServer&&) = delete;
  ~LoadedServer() {
    if (handle_ != nullptr) dlclose(handle_);
  }

  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) const { return getClassObject_(clsid, iid, object); }
  // A server without DllCanUnloadNow stays loaded.
  bool CanUnload() const { return canUnloadNow_ != nullptr && canUnloadNow_() == S_OK; }
  // At process exit the servers stay mapped: objects may still be released by other static destructors.
  void Abandon() { handle_ = nullptr; }

 private:
  void* handle_;
  DllGetClassObjectFunction getClassObject_;
  DllCanUnloadNowFunction canUnloadNow_;
};

class ServerTable {
 public:
  static ServerTable& Instance() {
    static ServerTable table;
    return table;
  }
  ~ServerTable() {
    for (auto& [path, server] : servers_) server.Abandon();
  }

  HRESULT GetClassObject(const std::filesystem::path& path, REFCLSID clsid, REFIID iid, void** object) {
    std::lock_guard lock(mutex_);
    const LoadedServer* server = nullptr;
    if (const HRESULT hr = Load(path, server); FAILED(hr)) return hr;
    return server->GetClassObject(clsid, iid, object);
  }

  void FreeUnused() {
    std::lock_guard lock(mutex_);
    for (auto it = servers_.begin(); it != servers_.end();) {
      if (it->second.CanUnload()) {
        Trace("unloading " + it->first);
        it = servers_.erase(it);
      } else {
        ++it;
      }
    }
  }

  bool IsLoaded(const std::filesystem::path& path) {
    std::lock_guard lock(mutex_);
    return servers_.count(Key(path)) > 0;
  }

 private:
  static std::string Key(const std::filesystem::path& path) {
    std::error_code error;
    const auto canonical = std::filesystem::weakly_canonical(path, error);
    return (error ? path : canonical).string();
  }

  HRESULT Load(const std::filesystem::path& path, const LoadedServer*& server) {
    const std::string key = Key(path);
    if (auto it = servers_.find(key); it != servers_.end()) {
      server = &it->second;
      return S_OK;
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(key, error)) {
      Trace("server not found: " + key);
      return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    }
    void* handle = dlopen(key.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* reason = dlerror();
      Trace("cannot load " + key + ": " + (reason ? reason : "unknown reason"));
      return HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT);
    }
    auto getClassObject = reinterpret_cast<DllGetClassObjectFunction>(dlsym(handle, "DllGetClassObject"));
    auto canUnloadNow = reinterpret_cast<DllCanUnloadNowFunction>(dlsym(handle, "DllCanUnloadNow"));
    if (getClassObject == nullptr) {
      Trace(key + " exports no DllGetClassObject");
      dlclose(handle);
      return CO_E_ERRORINDLL;
    }
    auto [it, inserted] = servers_.emplace(key, LoadedServer(handle, getClassObject, canUnloadNow));
    server = &it->second;
    return S_OK;
  }

  std::recursive_mutex mutex_;
  std::map<std::string, LoadedServer> servers_;
};

thread_local int initializeCount = 0;

std::u16string ClassKey(REFCLSID clsid) { return u"CLSID\\" + FormatGuid(clsid); }

HRESULT ResolveProgId(std::u16string_view progId, CLSID& clsid, int depth) {
  if (progId.empty() || depth > 8) return CO_E_CLASSSTRING;
  RegKey key;
  if (key.Open(HKEY_CLASSES_ROOT, progId) != ERROR_SUCCESS) return CO_E_CLASSSTRING;
  RegKey clsidKey;
  if (clsidKey.Open(key.Get(), u"CLSID") == ERROR_SUCCESS) {
    if (auto text = clsidKey.QueryString()) {
      if (auto parsed = ParseGuid(*text)) {
        clsid = *parsed;
        return S_OK;
      }
    }
  }
  RegKey current;
  if (current.Open(key.Get(), u"CurVer") == ERROR_SUCCESS) {
    if (auto version = current.QueryString(); version && !text::EqualsIgnoreAsciiCase(*version, progId))
      return ResolveProgId(*version, clsid, depth + 1);
  }
  return CO_E_CLASSSTRING;
}

HRESULT CopyToTaskMemory(std::u16string_view text, LPOLESTR* target) {
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
  if (copy == nullptr) return E_OUTOFMEMORY;
  text.copy(copy, text.size());
  copy[text.size()] = u'\0';
  *target = copy;
  return S_OK;
}

}  // namespace

HRESULT CoInitializeEx(void* /*reserved*/, DWORD /*flags*/) { return ++initializeCount == 1 ? S_OK : S_FALSE; }

HRESULT CoInitialize(void* reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
  if (initializeCount == 0) return;
  if (--initializeCount == 0) CoFreeUnusedLibraries();
}

void* CoTaskMemAlloc(size_t size) { return std::malloc(size == 0 ? 1 : size); }

void CoTaskMemFree(void* memory) { std::free(memory); }

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* /*serverInfo*/, REFIID iid, void** object) {
  if (object == nullptr) return E_INVALIDARG;
  *object = nullptr;
  if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  RegKey server;
  if (server.Open(HKEY_CLASSES_ROOT, ClassKey(clsid) + u"\\InprocServer32") != ERROR_SUCCESS)
    return REGDB_E_CLASSNOTREG;
  const auto path = server.QueryString();
  if (!path || path->empty()) return REGDB_E_CLASSNOTREG;
  return ServerTable::Instance().GetClassObject(fs::PathFromUtf16(*path), clsid, iid, object);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  ComPtr<IClassFactory> factory;
  if (const HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, factory.OutVoid()); FAILED(hr))
    return hr;
  return factory->CreateInstance(outer, iid, object);
}

void CoFreeUnusedLibraries() { ServerTable::Instance().FreeUnused(); }

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
  if (progId == nullptr || clsid == nullptr) return E_INVALIDARG;
  return ResolveProgId(progId, *clsid, 0);
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) {
  if (progId == nullptr) return E_INVALIDARG;
  *progId = nullptr;
  RegKey key;
  if (key.Open(HKEY_CLASSES_ROOT, ClassKey(clsid) + u"\\ProgID") != ERROR_SUCCESS) return REGDB_E_CLASSNOTREG;
  const auto text = key.QueryString();
  if (!text || text->empty()) return REGDB_E_CLASSNOTREG;
  return CopyToTaskMemory(*text, progId);
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
  if (clsid == nullptr) return E_INVALIDARG;
  if (text == nullptr) {
    *clsid = CLSID_NULL;
    return S_OK;
  }
  if (text[0] == u'{') {
    const auto parsed = ParseGuid(std::u16string_view(text));
    if (!parsed) return CO_E_CLASSSTRING;
    *clsid = *parsed;
    return S_OK;
  }
  return CLSIDFromProgID(text, clsid);
}

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text) {
  if (text == nullptr) return E_INVALIDARG;
  *text = nullptr;
  return CopyToTaskMemory(FormatGuid(clsid), text);
}

bool IsInprocServerLoaded(const std::filesystem::path& path) { return ServerTable::Instance().IsLoaded(path); }

}  // namespace sealrun::platform::com
