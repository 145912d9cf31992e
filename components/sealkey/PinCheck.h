#pragma once
// The key's PIN check: PBKDF2-HMAC-SHA256 of the PIN (UTF-8) against the key's stored verifier.
#include <string_view>

#include "components/sealkey/SealKeyFolder.h"
#include "platform/crypto/PinTries.h"

namespace sealrun::components::sealkey {

// True when the PIN derives the stored value; compared in constant time.
bool PinMatches(const PinVerifier& verifier, std::u16string_view pin);

// The PIN checked as a token checks it: under the key's try counter, which waits after a few wrong PINs
// and locks the key after too many. An empty PIN is refused without being counted.
platform::crypto::PinTryResult CheckPinCounted(const SealKey& key, std::u16string_view pin);
// The unlock code checked under the same counter: a right code clears the wrong PINs, which unlocks the
// key. Wrong codes are counted apart and, after too many, the key can no longer be unlocked with a code.
// Nothing is checked (Unchecked) when the key has no unlock code.
platform::crypto::PinTryResult CheckUnlockCodeCounted(const SealKey& key, std::u16string_view code);

// Clears a secret held in a string before its memory is released.
void WipeSecret(std::string& secret);
void WipeSecret(std::u16string& secret);

}  // namespace sealrun::components::sealkey
