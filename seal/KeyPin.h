#pragma once
// The PIN operations on the seal key, each on a fresh KeyObject instance released when it ends. The
// system never keeps the PIN: it comes from the signing dialog's PIN field each time.
#include <cstdint>
#include <string>
#include <string_view>

namespace sealrun::seal {

// The answer of VerifyKeyPin when the key could not check the PIN at all: no KeyObject, a component
// that does not know VerifyPin, a failing call or an answer that is not a number. A run never starts on
// a PIN that nobody checked.
inline constexpr int16_t kPinNotChecked = -1;

// The key's answer when it is locked after too many wrong PINs: it checks no PIN until it is unlocked.
inline constexpr int16_t kKeyLocked = 6;

// 0 when the key accepts the PIN; any other value refuses it.
int16_t VerifyKeyPin(std::u16string_view pin);
// Writes the PIN into the key's store and, only when that succeeds, tags it as remembered. The low 16
// bits of the last answer; kPinNotChecked without a KeyObject. Callers ignore it.
int16_t RememberPin(std::u16string_view pin);
// Removes the remembered PIN and its tag. The low 16 bits of the answer; kPinNotChecked without a
// KeyObject. Callers ignore it.
int16_t ForgetPin();
// The remembered PIN, or empty text when there is none (or no KeyObject).
std::u16string RecallPin();

}  // namespace sealrun::seal
