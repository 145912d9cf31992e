#include "components/sealkey/PinCheck.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <vector>

#include "platform/text/Utf.h"

namespace sealrun::components::sealkey {

bool PinMatches(const PinVerifier& verifier, std::u16string_view pin) {
  if (verifier.derivedKey.empty() || verifier.iterations == 0) return false;
  std::string utf8 = platform::text::Utf16ToUtf8(pin);
  std::vector<uint8_t> derived(verifier.derivedKey.size());
  const int ok = PKCS5_PBKDF2_HMAC(utf8.data(), static_cast<int>(utf8.size()), verifier.salt.data(),
                                   static_cast<int>(verifier.salt.size()), static_cast<int>(verifier.iterations),
                                   EVP_sha256(), static_cast<int>(derived.size()), derived.data());
  WipeSecret(utf8);
  const bool matches = ok == 1 && CRYPTO_memcmp(derived.data(), verifier.derivedKey.data(), derived.size()) == 0;
  OPENSSL_cleanse(derived.data(), derived.size());
  return matches;
}

platform::crypto::PinTryResult CheckPinCounted(const SealKey& key, std::u16string_view pin) {
  using platform::crypto::PinMatch;
  return platform::crypto::PinTries(key.folder).CheckPin([&] {
    if (pin.empty()) return PinMatch::Unchecked;
    return PinMatches(key.pin, pin) ? PinMatch::Right : PinMatch::Wrong;
  });
}

platform::crypto::PinTryResult CheckUnlockCodeCounted(const SealKey& key, std::u16string_view code) {
  using platform::crypto::PinMatch;
  if (!key.unlockCode || code.empty()) return platform::crypto::PinTryResult::Unchecked;
  return platform::crypto::PinTries(key.folder).CheckUnlockCode(
      [&] { return PinMatches(*key.unlockCode, code) ? PinMatch::Right : PinMatch::Wrong; });
}

void WipeSecret(std::string& secret) {
  if (!secret.empty()) OPENSSL_cleanse(secret.data(), secret.size());
  secret.clear();
}

void WipeSecret(std::u16string& secret) {
  if (!secret.empty()) OPENSSL_cleanse(secret.data(), secret.size() * sizeof(char16_t));
  secret.clear();
}

}  // namespace sealrun::components::sealkey
