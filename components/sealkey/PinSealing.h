#pragma once
// The remembered PIN is kept encrypted (AES-256-GCM) under a key that does not lie beside it: a random
// 32-byte key in the seal key's own folder (remembered-pin.key, mode 0600). The store in the user's
// configuration folder alone (a backup, a synced or shared profile) gives no PIN, and a PIN remembered
// for a key is only readable while that key is inserted. Each entry is bound to its key serial.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sealrun::components::sealkey {

inline constexpr char kStoreKeyFileName[] = "remembered-pin.key";

// The key of the key folder `folder`; created (atomically, 0600) when `create` asks for it and there is
// none. Nullopt when it is missing (and not created), damaged or cannot be written.
std::optional<std::vector<uint8_t>> StoreKey(const std::filesystem::path& folder, bool create);

// The PIN (UTF-8) encrypted for `serial`: nonce, ciphertext and tag. Nullopt when encryption fails.
std::optional<std::vector<uint8_t>> SealPin(const std::vector<uint8_t>& key, std::string_view serial,
                                            std::string_view pin);
// The PIN back, or nullopt when the entry was not made with this key for this serial.
std::optional<std::string> OpenPin(const std::vector<uint8_t>& key, std::string_view serial,
                                   const std::vector<uint8_t>& sealed);

}  // namespace sealrun::components::sealkey
