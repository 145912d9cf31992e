#pragma once
// The remembered PIN of the user's seal keys: $XDG_CONFIG_HOME/sealrun/remembered-pin, readable by the
// user alone (0600) and replaced atomically. Each entry is bound to a key serial, so another key never
// sees it. One line per key: hex of the serial (UTF-8), a space, hex of the PIN (UTF-8).
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace sealrun::components::sealkey {

class RememberedPinStore {
 public:
  // The file of the current user (under platform::fs::AppDataDir()).
  static RememberedPinStore ForCurrentUser();
  explicit RememberedPinStore(std::filesystem::path file) : file_(std::move(file)) {}

  // The PIN remembered for this key serial.
  std::optional<std::u16string> Read(std::u16string_view serial) const;
  bool Exists(std::u16string_view serial) const { return Read(serial).has_value(); }
  // Records (or replaces) the PIN of this serial; false when the file cannot be written.
  bool Write(std::u16string_view serial, std::u16string_view pin) const;
  // Removes the entry of this serial; the entries of other keys stay. False on a write failure.
  bool Remove(std::u16string_view serial) const;

  const std::filesystem::path& File() const { return file_; }

 private:
  std::filesystem::path file_;
};

}  // namespace sealrun::components::sealkey
