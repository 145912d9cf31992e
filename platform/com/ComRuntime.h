#pragma once
// The COM library: apartment initialisation, task memory, and creation of objects of registered classes
// from in-process servers (shared objects named by HKCR\CLSID\{clsid}\InprocServer32, loaded with dlopen
// and asked through their exported DllGetClassObject). A server is unloaded only when it says it can be
// (DllCanUnloadNow answers S_OK), so an object never outlives its code.
#include <filesystem>

#include "platform/com/Interfaces.h"

namespace sealrun::platform::com {

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
inline constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
inline constexpr DWORD CLSCTX_ALL = 0x17;

inline constexpr DWORD COINIT_MULTITHREADED = 0x0;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

// Counted per thread: S_OK the first time, S_FALSE when already initialised. The apartment model is not
// enforced (there is one user-interface thread), and CoCreateInstance does not insist on initialisation.
HRESULT CoInitializeEx(void* reserved, DWORD flags);
HRESULT CoInitialize(void* reserved);
// Harmless when unbalanced. The last call frees the servers that can be unloaded.
void CoUninitialize();

void* CoTaskMemAlloc(size_t size);
void CoTaskMemFree(void* memory);

// Only in-process servers exist here: a context without CLSCTX_INPROC_SERVER finds no server
// (REGDB_E_CLASSNOTREG). An unregistered class gives REGDB_E_CLASSNOTREG; a server file that is missing
// HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND); one that does not load HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT);
// one without DllGetClassObject CO_E_ERRORINDLL.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* serverInfo, REFIID iid, void** object);
// The class factory's CreateInstance with `outer` passed through for aggregation.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);
// Unloads every loaded server whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();

// ProgID to class id through "ProgID\CLSID", following "ProgID\CurVer" for version-independent ProgIDs;
// CO_E_CLASSSTRING when the ProgID does not resolve.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
// The class's ProgID in task memory (free with CoTaskMemFree); REGDB_E_CLASSNOTREG when it has none.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId);
// A braced GUID, or else a ProgID; CO_E_CLASSSTRING when it is neither.
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
// The braced form in task memory.
HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text);

// Whether this process holds the server at `path` loaded through CoGetClassObject (diagnostics, tests).
bool IsInprocServerLoaded(const std::filesystem::path& path);

}  // namespace sealrun::platform::com
