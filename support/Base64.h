#pragma once
// Base64-style encoding and decoding over the system's alphabets. Every routine is stateless and returns a
// buffer the caller owns.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "support/Alphabets.h"

namespace sealrun::support {

// Symbols for n bytes: 4 * ceil(n / 3).
constexpr std::size_t Base64EncodedSize(std::size_t byteCount) { return (byteCount + 2) / 3 * 4; }

// Writes the symbols of the bytes into out, no terminator, padding with the alphabet's own pad symbol.
// Returns the number of symbols written, or 0 when out is too small: it must hold n / 3 + n + 1 symbols
// and never fewer than the encoded size.
std::size_t EncodeWithAlphabet(std::span<const std::uint8_t> bytes, std::span<char> out, const Alphabet& alphabet);

// 4 * ceil(n / 3) symbols of the alphabet, "=" as pad whatever the alphabet.
std::string Base64Encode(std::span<const std::uint8_t> bytes, const Alphabet& alphabet = StandardAlphabet);
std::string Base64Encode(std::string_view bytes, const Alphabet& alphabet = StandardAlphabet);

// SealInfoAlphabet symbols with "=" as pad; "=" is the symbol of value 0 there, so pads read back as zero bytes.
std::string SealInfoEncode(std::span<const std::uint8_t> bytes);
std::string SealInfoEncode(std::string_view bytes);

// Reads the symbols up to the first NUL. Every complete group of four symbols gives three bytes (a symbol outside
// the alphabet counts 0); a trailing incomplete group is ignored. Returns 3 * floor(len / 4) bytes.
std::vector<std::uint8_t> SealInfoDecode(std::string_view symbols);

// Reads the symbols four at a time. The alphabet's pad, a symbol outside the alphabet and a position past the end
// are pads. Each group gives its first byte, its second only when its third symbol is not a pad, its third only
// when its fourth symbol is not a pad; decoding goes on with the next group after a pad.
std::vector<std::uint8_t> DecodeWithAlphabet(std::string_view symbols, const Alphabet& alphabet);

}  // namespace sealrun::support
