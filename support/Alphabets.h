#pragma once
// The 65-symbol alphabets of the Base64-style codecs: positions 0 to 63 stand for the 6-bit values,
// position 64 is the pad symbol unless a codec says otherwise.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace sealrun::support {

class Alphabet {
 public:
  static constexpr std::size_t kSize = 65;
  static constexpr std::size_t kPadPosition = 64;
  static constexpr std::uint8_t kNotInAlphabet = 0xFF;

  // Evaluated at compile time for the constants below: a wrong length or a repeated symbol does not compile.
  constexpr explicit Alphabet(std::string_view symbols) {
    if (symbols.size() != kSize) throw "an alphabet has exactly 65 symbols";
    positions_.fill(kNotInAlphabet);
    for (std::size_t i = 0; i < kSize; ++i) {
      const auto byte = static_cast<std::uint8_t>(symbols[i]);
      if (positions_[byte] != kNotInAlphabet) throw "an alphabet symbol occurs twice";
      positions_[byte] = static_cast<std::uint8_t>(i);
      symbols_[i] = symbols[i];
    }
  }

  // The symbol at a position 0..64.
  constexpr char Symbol(std::size_t position) const { return symbols_[position]; }
  constexpr char Pad() const { return symbols_[kPadPosition]; }
  // The position 0..64 of a symbol, or kNotInAlphabet.
  constexpr std::uint8_t Position(char symbol) const { return positions_[static_cast<std::uint8_t>(symbol)]; }
  constexpr std::string_view Symbols() const { return {symbols_.data(), kSize}; }

 private:
  std::array<char, kSize> symbols_{};
  std::array<std::uint8_t, 256> positions_{};
};

// RFC 4648 Base64 with "=" as pad.
inline constexpr Alphabet StandardAlphabet{"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="};

// Sealed files depend on the two alphabets below: page identifiers and fingerprints written into PDF files,
// and the seal records read back by every later verification and removal, are in these symbols.
// They must never change.

// Page identifiers and fingerprint texts. Position 64 ("T") is its pad, so "=" stands for a value here.
inline constexpr Alphabet FingerprintAlphabet{"LCdWkHhGr5KcgjqR0SD1tnv3zX9xaEwQfeYPy/IbZMAOoui+6Ulm2BF4=Vp8Js7NT"};

// Seal records and signing-server packet values. Position 0 is "=", which its encoder also writes as pad, so
// a pad reads back as value 0; the symbol at position 64 ("/") is never written.
inline constexpr Alphabet SealInfoAlphabet{"=7vG6eN4bgthxc0CM3a8rduXRK+WmOBsH2iISZETzyVokPjwQlDFJn1Y5fUAL9pq/"};

}  // namespace sealrun::support
