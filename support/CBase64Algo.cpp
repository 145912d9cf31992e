#include "support/CBase64Algo.h"

#include "platform/text/CodePage.h"
#include "platform/text/Utf.h"
#include "support/Base64.h"

namespace sealrun::support {
namespace {

namespace text = platform::text;

std::string TextToBytes(std::u16string_view value, TextBytes textBytes) {
  return textBytes == TextBytes::Utf8 ? text::Utf16ToUtf8(value) : text::FromUtf16(value, text::kCpAcp);
}

}  // namespace

std::u16string CBase64Algo::EncodeText(std::u16string_view value, TextBytes textBytes) const {
  const std::string bytes = TextToBytes(value, textBytes);
  const std::string symbols =
      EncodeBytes({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  return text::Widen(symbols);
}

std::string CBase64Algo::EncodeBytes(std::span<const std::uint8_t> bytes) const {
  std::string symbols(Base64EncodedSize(bytes.size()) + bytes.size() / 3 + 1, '\0');
  symbols.resize(EncodeWithAlphabet(bytes, symbols, *alphabet_));
  return symbols;
}

std::u16string CBase64Algo::DecodeText(std::u16string_view symbols, TextBytes textBytes) const {
  // One byte per code unit keeps the groups aligned; a unit outside ASCII is no symbol of any alphabet.
  std::string narrow;
  narrow.reserve(symbols.size());
  for (const char16_t unit : symbols) {
    if (unit == u'\r' || unit == u'\n') continue;
    narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '\x80');
  }
  const std::vector<std::uint8_t> bytes = DecodeBytes(narrow);
  const std::string_view decoded(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return textBytes == TextBytes::Utf8 ? text::Utf8ToUtf16(decoded) : text::ToUtf16(decoded, text::kCpAcp);
}

std::vector<std::uint8_t> CBase64Algo::DecodeBytes(std::string_view symbols) const {
  return DecodeWithAlphabet(symbols, *alphabet_);
}

}  // namespace sealrun::support
