#pragma once
// How the system reads the VARIANT answers of the components: numbers (of any numeric type) and their
// low 16 bits, texts, and the binary seal picture carried in a BSTR.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/com/Variant.h"

namespace sealrun::seal {

// The answer as a 32-bit number; nullopt when it is not a number (or a text that reads as one).
std::optional<int32_t> NumberOf(const platform::com::Variant& value);
// The low 16 bits of a number, sign-extended, as the system reads the components' 16-bit answers.
int16_t LowWord(int32_t value);
// The answer as text: a BSTR as it is (null reads as empty), other types converted; empty when they do not
// convert.
std::u16string TextOf(const platform::com::Variant& value);
// A seal picture as the key hands it over: a BSTR whose character count is the picture's byte count,
// with the bytes from the string's first byte. Empty for anything else.
std::span<const uint8_t> SealPictureBytes(const platform::com::VARIANT& picture);

}  // namespace sealrun::seal
