#pragma once
// The inserted seal key: a folder holding key.xml, the signer's certificate and PKCS#12, and the seal
// pictures (format in components/README.md). Reading never throws; a folder that cannot be trusted
// reads as no key at all, a seal whose picture is missing reads as no such seal.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sealrun::components::sealkey {

struct PinVerifier {
  uint32_t iterations = 0;
  std::vector<uint8_t> salt;
  std::vector<uint8_t> derivedKey;  // PBKDF2-HMAC-SHA256 of the PIN, 32 bytes
};

struct SealEntry {
  std::u16string name;
  std::u16string unit;
  std::u16string user;
  std::u16string serial;
  std::u16string extension;      // ".png", as the key records it
  std::filesystem::path picture;  // inside the key folder
};

struct SealKey {
  std::filesystem::path folder;
  std::u16string serial;
  // The PIN's verifier; unused when the signer is on a token, which checks its PIN itself.
  PinVerifier pin;
  // The code that unlocks the key after too many wrong PINs, kept as a verifier like the PIN; without
  // one only the key's administrator can unlock it (by removing its try counter).
  std::optional<PinVerifier> unlockCode;
  std::optional<std::filesystem::path> signerCertificate;
  std::optional<std::filesystem::path> signerPkcs12;
  // The RFC 7512 name of the signer's key on a PKCS#11 token, when the key is a token's.
  std::optional<std::string> signerToken;
  std::vector<SealEntry> seals;  // in key order
};

// Limits that keep a damaged or hostile key from exhausting time or memory.
inline constexpr uintmax_t kMaxKeyXmlBytes = 1u << 20;
inline constexpr uintmax_t kMaxPictureBytes = 16u << 20;
inline constexpr uintmax_t kMaxPkcs12Bytes = 1u << 20;
inline constexpr uint32_t kMaxPinIterations = 5'000'000;
inline constexpr size_t kMaxSeals = 1000;

// The key in `folder`, or nullopt when there is none or it is damaged.
std::optional<SealKey> ReadSealKey(const std::filesystem::path& folder);
// The key key.xml text describes (for a key in `folder`); nullopt when damaged.
std::optional<SealKey> ParseSealKey(const std::string& keyXml, const std::filesystem::path& folder);

// The bytes of a file inside the key, when it is a regular file of at most `maxBytes`.
std::optional<std::string> ReadKeyFile(const std::filesystem::path& path, uintmax_t maxBytes);

}  // namespace sealrun::components::sealkey
