#include "protocol/StandardBase64.h"

#include <string>

#include "support/Alphabets.h"
#include "support/Base64.h"

namespace sealrun::protocol {

std::optional<std::vector<std::uint8_t>> DecodeStandardBase64(std::u16string_view text) {
  std::string symbols;
  symbols.reserve(text.size());
  for (const char16_t c : text) {
    if (c == u'\r' || c == u'\n') continue;
    if (c >= 0x80) return std::nullopt;
    symbols.push_back(static_cast<char>(c));
  }
  if (symbols.empty() || symbols.size() % 4 != 0) return std::nullopt;
  std::size_t pads = 0;
  while (pads < 2 && symbols[symbols.size() - 1 - pads] == '=') ++pads;
  for (std::size_t i = 0; i + pads < symbols.size(); ++i) {
    if (support::StandardAlphabet.Position(symbols[i]) >= 64) return std::nullopt;
  }
  return support::DecodeWithAlphabet(symbols, support::StandardAlphabet);
}

}  // namespace sealrun::protocol
