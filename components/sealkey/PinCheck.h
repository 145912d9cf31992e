#pragma once
// The key's PIN check: PBKDF2-HMAC-SHA256 of the PIN (UTF-8) against the key's stored verifier.
#include <string_view>

#include "components/sealkey/SealKeyFolder.h"

namespace sealrun::components::sealkey {

// True when the PIN derives the stored value; compared in constant time.
bool PinMatches(const PinVerifier& verifier, std::u16string_view pin);

// Clears a secret held in a string before its memory is released.
void WipeSecret(std::string& secret);
void WipeSecret(std::u16string& secret);

}  // namespace sealrun::components::sealkey
