#include "platform/com/RegKey.h"

#include <string>

namespace sealrun::platform::com {
RegKey& RegKey::operator=(RegKey&& other) noexcept {
  if (this != &other) {
    Close();
    key_ = other.Release();
  }
  return *this;
}

LSTATUS RegKey::Open(HKEY parent, std::u16string_view subKey, REGSAM access) {
  Close();
  const std::u16string name = std::u16string(subKey);
  return RegOpenKeyEx(parent, name.c_str(), 0, access, &key_);
}

LSTATUS RegKey::Create(HKEY parent, std::u16string_view subKey, REGSAM access, DWORD* disposition) {
  Close();
  const std::u16string name = std::u16string(subKey);
  return RegCreateKeyEx(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key_,
                        disposition);
}

void RegKey::Close() {
  if (key_ != nullptr) RegCloseKey(key_);
  key_ = nullptr;
}

HKEY RegKey::Release() {
  HKEY key = key_;
  key_ = nullptr;
  return key;
}

std::optional<std::u16string> RegKey::QueryString(std::u16string_view name) const {
  const std::u16string valueName = std::u16string(name);
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueEx(key_, valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  std::u16string value((size + 1) / 2, u'\0');
  if (RegQueryValueEx(key_, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  value.resize(size / 2);
  // Text stops at the first NUL, as Windows readers treat it.
  if (const size_t nul = value.find(u'\0'); nul != std::u16string::npos) value.resize(nul);
  return value;
}

std::optional<DWORD> RegKey::QueryDword(std::u16string_view name) const {
  const std::u16string valueName = std::u16string(name);
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueEx(key_, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value)
    return std::nullopt;
  return value;
}

LSTATUS RegKey::SetString(std::u16string_view name, std::u16string_view value) {
  const std::u16string valueName = std::u16string(name);
  const std::u16string data(value);
  return RegSetValueEx(key_, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(char16_t)));
}

LSTATUS RegKey::SetDword(std::u16string_view name, DWORD value) {
  const std::u16string valueName = std::u16string(name);
  return RegSetValueEx(key_, valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LSTATUS RegKey::DeleteValue(std::u16string_view name) {
  const std::u16string valueName = std::u16string(name);
  return RegDeleteValue(key_, valueName.c_str());
}

std::vector<std::u16string> RegKey::SubKeyNames() const {
  std::vector<std::u16string> names;
  OLECHAR buffer[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = 256;
    if (RegEnumKeyEx(key_, index, buffer, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(buffer, length);
  }
  return names;
}

}  // namespace sealrun::platform::com
