#pragma once
// The remembered PIN of the user's seal keys: $XDG_CONFIG_HOME/sealrun/remembered-pin, readable by the
// user alone (0600) and replaced atomically. One line per key: hex of the serial (UTF-8), a space, hex of
// the PIN encrypted under the store key of that seal key's folder (see PinSealing.h) and bound to the
// serial, so the file alone gives no PIN and another key never sees it. Lines too short to be encrypted
// (PINs kept in clear by earlier versions) are never read and are dropped at the next write.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace sealrun::components::sealkey {

class RememberedPinStore {
 public:
  // The file of the current user (under platform::fs::AppDataDir()), for the key in `keyFolder`.
  static RememberedPinStore ForCurrentUser(std::filesystem::path keyFolder);
  RememberedPinStore(std::filesystem::path file, std::filesystem::path keyFolder)
      : file_(std::move(file)), keyFolder_(std::move(keyFolder)) {}

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
  std::filesystem::path keyFolder_;  // holds the store key
};

}  // namespace sealrun::components::sealkey
