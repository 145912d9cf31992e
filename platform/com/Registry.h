#pragma once
// The registry, kept in text files under platform::fs::RegistryDir() (SEALRUN_REGISTRY overrides):
// HKEY_CURRENT_USER.reg and HKEY_LOCAL_MACHINE.reg. HKEY_CLASSES_ROOT is a view merging
// HKCU\Software\Classes over HKLM\Software\Classes, as on Windows. Key and value names compare without
// regard to (ASCII) case. Every change is written at once, atomically, so a crash leaves the old file or
// the new one; a malformed file reads as empty (said on the debug trace) and is kept beside the new one
// as "<file>.corrupt" when the hive is next written. Functions return Win32 error codes.
#include <cstdint>

#include "platform/com/HResult.h"

namespace sealrun::platform::com {

struct HKEY__;
using HKEY = HKEY__*;
using REGSAM = DWORD;

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(uintptr_t{0x80000000});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(uintptr_t{0x80000002});

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Access rights are accepted for compatibility; the files' own permissions are the only protection.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// `subKey` may name several levels separated by "\"; null or empty opens `key` itself again.
LSTATUS RegOpenKeyEx(HKEY key, const OLECHAR* subKey, DWORD options, REGSAM access, HKEY* result);
// Creates the missing levels; `disposition` says REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
LSTATUS RegCreateKeyEx(HKEY key, const OLECHAR* subKey, DWORD reserved, OLECHAR* keyClass, DWORD options,
                       REGSAM access, void* security, HKEY* result, DWORD* disposition);
LSTATUS RegCloseKey(HKEY key);
// `name` null or empty is the default value.
LSTATUS RegSetValueEx(HKEY key, const OLECHAR* name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
// With `data` null, *size receives the needed size; with a buffer too small, ERROR_MORE_DATA and the
// needed size.
LSTATUS RegQueryValueEx(HKEY key, const OLECHAR* name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
LSTATUS RegDeleteValue(HKEY key, const OLECHAR* name);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise).
LSTATUS RegDeleteKey(HKEY key, const OLECHAR* subKey);
// Deletes `subKey` with everything below it; with `subKey` null, deletes the values and subkeys of `key`.
LSTATUS RegDeleteTree(HKEY key, const OLECHAR* subKey);
// Subkey names in case-insensitive order; ERROR_NO_MORE_ITEMS past the last. `nameLength` is in units,
// without the NUL on return; ERROR_MORE_DATA when the buffer is too small.
LSTATUS RegEnumKeyEx(HKEY key, DWORD index, OLECHAR* name, DWORD* nameLength, DWORD* reserved, OLECHAR* keyClass,
                     DWORD* classLength, FILETIME* lastWrite);
LSTATUS RegEnumValue(HKEY key, DWORD index, OLECHAR* name, DWORD* nameLength, DWORD* reserved, DWORD* type,
                     BYTE* data, DWORD* size);
LSTATUS RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* values);

}  // namespace sealrun::platform::com
