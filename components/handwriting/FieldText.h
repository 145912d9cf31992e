#pragma once
// How the handwriting component reads and writes its text fields: Base64 over the alphabet the caller
// handed over in "Base64String" (65 symbols, the pad last), and lists whose entries are lines.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sealrun::components::handwriting {

class FieldAlphabet {
 public:
  // The RFC 4648 alphabet with "=" as pad.
  FieldAlphabet();
  // The caller's alphabet: 65 distinct ASCII symbols, not CR or LF; nullopt otherwise.
  static std::optional<FieldAlphabet> FromText(std::u16string_view symbols);

  std::u16string Encode(std::string_view bytes) const;
  // The bytes; line breaks and blanks are skipped. nullopt for a symbol outside the alphabet or
  // anything but pads after a pad.
  std::optional<std::string> Decode(std::u16string_view text) const;

 private:
  std::array<char, 65> symbols_{};
  std::array<int8_t, 128> values_{};
};

// The entries of a list sent as Base64 of UTF-8 lines separated by CR LF; empty when it does not decode.
std::vector<std::u16string> DecodeList(const FieldAlphabet& alphabet, std::u16string_view text);

}  // namespace sealrun::components::handwriting
