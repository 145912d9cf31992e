#pragma once
// Owns one open registry key and reads and writes its values as text and numbers.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/Registry.h"

namespace sealrun::platform::com {

class RegKey {
 public:
  RegKey() = default;
  RegKey(RegKey&& other) noexcept : key_(other.Release()) {}
  RegKey& operator=(RegKey&& other) noexcept;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() { Close(); }

  LSTATUS Open(HKEY parent, std::u16string_view subKey, REGSAM access = KEY_READ);
  LSTATUS Create(HKEY parent, std::u16string_view subKey, REGSAM access = KEY_ALL_ACCESS,
                 DWORD* disposition = nullptr);
  void Close();
  HKEY Get() const { return key_; }
  bool IsOpen() const { return key_ != nullptr; }
  HKEY Release();

  // REG_SZ or REG_EXPAND_SZ text without its terminator; nullopt when absent or of another type.
  std::optional<std::u16string> QueryString(std::u16string_view name = {}) const;
  std::optional<DWORD> QueryDword(std::u16string_view name = {}) const;
  // Writes REG_SZ with its terminating NUL, as Windows programs do.
  LSTATUS SetString(std::u16string_view name, std::u16string_view value);
  LSTATUS SetDword(std::u16string_view name, DWORD value);
  LSTATUS DeleteValue(std::u16string_view name);
  std::vector<std::u16string> SubKeyNames() const;

 private:
  HKEY key_ = nullptr;
};

}  // namespace sealrun::platform::com
