#include "components/sealkey/PictureText.h"

#include <array>
#include <cstdint>

namespace sealrun::components::sealkey {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 128> DecodeTable() {
  std::array<int8_t, 128> table{};
  table.fill(-1);
  for (int i = 0; i < 64; ++i) table[static_cast<size_t>(kAlphabet[i])] = static_cast<int8_t>(i);
  return table;
}

constexpr auto kDecode = DecodeTable();

}  // namespace

std::u16string PictureToText(std::string_view bytes) {
  std::u16string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  auto byte = [&](size_t at) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])); };
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t group = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
    for (int shift = 18; shift >= 0; shift -= 6) text.push_back(static_cast<char16_t>(kAlphabet[(group >> shift) & 63]));
  }
  const size_t left = bytes.size() - i;
  if (left > 0) {
    const uint32_t group = byte(i) << 16 | (left == 2 ? byte(i + 1) << 8 : 0);
    text.push_back(static_cast<char16_t>(kAlphabet[(group >> 18) & 63]));
    text.push_back(static_cast<char16_t>(kAlphabet[(group >> 12) & 63]));
    text.push_back(left == 2 ? static_cast<char16_t>(kAlphabet[(group >> 6) & 63]) : u'=');
    text.push_back(u'=');
  }
  return text;
}

std::optional<std::string> PictureFromText(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  uint32_t group = 0;
  int count = 0;
  int padding = 0;
  for (const char16_t c : text) {
    if (c == u' ' || c == u'\r' || c == u'\n' || c == u'\t') continue;
    if (c == u'=') {
      ++padding;
      continue;
    }
    // Nothing but padding may follow padding.
    if (padding > 0 || c >= 128 || kDecode[c] < 0) return std::nullopt;
    group = group << 6 | static_cast<uint32_t>(kDecode[c]);
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

}  // namespace sealrun::components::sealkey
