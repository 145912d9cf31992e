#include "components/handwriting/FieldText.h"

#include "platform/text/Utf.h"

namespace sealrun::components::handwriting {
namespace {

constexpr std::string_view kStandard = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";

bool IsBlank(char16_t c) { return c == u' ' || c == u'\r' || c == u'\n' || c == u'\t'; }

}  // namespace

FieldAlphabet::FieldAlphabet() {
  values_.fill(-1);
  for (size_t i = 0; i < symbols_.size(); ++i) {
    symbols_[i] = kStandard[i];
    if (i < 64) values_[static_cast<size_t>(kStandard[i])] = static_cast<int8_t>(i);
  }
}

std::optional<FieldAlphabet> FieldAlphabet::FromText(std::u16string_view symbols) {
  if (symbols.size() != 65) return std::nullopt;
  FieldAlphabet alphabet;
  alphabet.values_.fill(-1);
  std::array<bool, 128> seen{};
  for (size_t i = 0; i < symbols.size(); ++i) {
    const char16_t c = symbols[i];
    if (c == 0 || c >= 128 || IsBlank(c) || seen[c]) return std::nullopt;
    seen[c] = true;
    alphabet.symbols_[i] = static_cast<char>(c);
    if (i < 64) alphabet.values_[c] = static_cast<int8_t>(i);
  }
  return alphabet;
}

std::u16string FieldAlphabet::Encode(std::string_view bytes) const {
  std::u16string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  auto byte = [&](size_t at) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])); };
  auto symbol = [&](uint32_t value) { return static_cast<char16_t>(symbols_[value & 63]); };
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t group = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
    for (int shift = 18; shift >= 0; shift -= 6) text.push_back(symbol(group >> shift));
  }
  const size_t left = bytes.size() - i;
  if (left > 0) {
    const uint32_t group = byte(i) << 16 | (left == 2 ? byte(i + 1) << 8 : 0);
    const char16_t pad = static_cast<char16_t>(symbols_[64]);
    text.push_back(symbol(group >> 18));
    text.push_back(symbol(group >> 12));
    text.push_back(left == 2 ? symbol(group >> 6) : pad);
    text.push_back(pad);
  }
  return text;
}

std::optional<std::string> FieldAlphabet::Decode(std::u16string_view text) const {
  const char16_t pad = static_cast<char16_t>(symbols_[64]);
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  uint32_t group = 0;
  int count = 0;
  int padding = 0;
  for (const char16_t c : text) {
    if (IsBlank(c)) continue;
    if (c == pad) {
      ++padding;
      continue;
    }
    if (padding > 0 || c >= 128 || values_[c] < 0) return std::nullopt;
    group = group << 6 | static_cast<uint32_t>(values_[c]);
    if (++count == 4) {
      bytes.push_back(static_cast<char>(group >> 16));
      bytes.push_back(static_cast<char>(group >> 8));
      bytes.push_back(static_cast<char>(group));
      group = 0;
      count = 0;
    }
  }
  if (count == 1 || padding > 2 || (padding > 0 && count + padding != 4)) return std::nullopt;
  if (count == 2) {
    bytes.push_back(static_cast<char>(group >> 4));
  } else if (count == 3) {
    bytes.push_back(static_cast<char>(group >> 10));
    bytes.push_back(static_cast<char>(group >> 2));
  }
  return bytes;
}

std::vector<std::u16string> DecodeList(const FieldAlphabet& alphabet, std::u16string_view text) {
  std::vector<std::u16string> entries;
  const auto bytes = alphabet.Decode(text);
  if (!bytes || bytes->empty() || !platform::text::IsValidUtf8(*bytes)) return entries;
  const std::u16string lines = platform::text::Utf8ToUtf16(*bytes);
  size_t start = 0;
  while (start <= lines.size()) {
    const size_t end = lines.find(u"\r\n", start);
    std::u16string entry = lines.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
    if (!entry.empty()) entries.push_back(std::move(entry));
    if (end == std::u16string::npos) break;
    start = end + 2;
  }
  return entries;
}

}  // namespace sealrun::components::handwriting
