#pragma once
// The Base64 codec class: bytes and UTF-16 texts to and from symbols of one alphabet (the standard one unless
// another is given).
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "support/Alphabets.h"

namespace sealrun::support {

// Which bytes stand for a text: its UTF-8 bytes or its bytes in the thread's ANSI code page.
enum class TextBytes { Ansi, Utf8 };

class CBase64Algo {
 public:
  CBase64Algo() = default;
  explicit CBase64Algo(const Alphabet& alphabet) : alphabet_(&alphabet) {}

  // The four operations keep this declaration order: it is their slot order.
  // Symbols of the text's bytes, as UTF-16.
  virtual std::u16string EncodeText(std::u16string_view text, TextBytes textBytes) const;
  // Symbols of the bytes, padded with the alphabet's pad symbol.
  virtual std::string EncodeBytes(std::span<const std::uint8_t> bytes) const;
  // The decoded bytes read as text. Line breaks are skipped, since MIME-style Base64 carries them.
  virtual std::u16string DecodeText(std::u16string_view symbols, TextBytes textBytes) const;
  // The alphabet decoder's bytes.
  virtual std::vector<std::uint8_t> DecodeBytes(std::string_view symbols) const;

  virtual ~CBase64Algo() = default;

  CBase64Algo(const CBase64Algo&) = default;
  CBase64Algo& operator=(const CBase64Algo&) = default;

  const Alphabet& GetAlphabet() const { return *alphabet_; }

 private:
  const Alphabet* alphabet_ = &StandardAlphabet;
};

}  // namespace sealrun::support
