#include "support/Base64.h"

namespace sealrun::support {
namespace {

// The encoding shared by every encoder; out holds Base64EncodedSize(bytes.size()) symbols.
void EncodeGroups(std::span<const std::uint8_t> bytes, const Alphabet& alphabet, char pad, char* out) {
  const std::uint8_t* in = bytes.data();
  std::size_t remaining = bytes.size();
  for (; remaining >= 3; remaining -= 3, in += 3, out += 4) {
    const std::uint32_t group = (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | in[2];
    out[0] = alphabet.Symbol(group >> 18);
    out[1] = alphabet.Symbol((group >> 12) & 0x3F);
    out[2] = alphabet.Symbol((group >> 6) & 0x3F);
    out[3] = alphabet.Symbol(group & 0x3F);
  }
  if (remaining == 0) return;
  const std::uint32_t group = (std::uint32_t{in[0]} << 16) | (remaining == 2 ? std::uint32_t{in[1]} << 8 : 0);
  out[0] = alphabet.Symbol(group >> 18);
  out[1] = alphabet.Symbol((group >> 12) & 0x3F);
  out[2] = remaining == 2 ? alphabet.Symbol((group >> 6) & 0x3F) : pad;
  out[3] = pad;
}

std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string EncodeToString(std::span<const std::uint8_t> bytes, const Alphabet& alphabet, char pad) {
  std::string symbols(Base64EncodedSize(bytes.size()), '\0');
  EncodeGroups(bytes, alphabet, pad, symbols.data());
  return symbols;
}

}  // namespace

std::size_t EncodeWithAlphabet(std::span<const std::uint8_t> bytes, std::span<char> out, const Alphabet& alphabet) {
  const std::size_t n = bytes.size();
  const std::size_t needed = Base64EncodedSize(n);
  // The documented minimum n / 3 + n + 1 falls short of the encoded size for lengths that are not a multiple
  // of three (22 for the 24 symbols of 16 bytes); both bounds are enforced so nothing is written past the end.
  if (out.size() < n / 3 + n + 1 || out.size() < needed) return 0;
  EncodeGroups(bytes, alphabet, alphabet.Pad(), out.data());
  return needed;
}

std::string Base64Encode(std::span<const std::uint8_t> bytes, const Alphabet& alphabet) {
  return EncodeToString(bytes, alphabet, '=');
}

std::string Base64Encode(std::string_view bytes, const Alphabet& alphabet) {
  return EncodeToString(AsBytes(bytes), alphabet, '=');
}

std::string SealInfoEncode(std::span<const std::uint8_t> bytes) { return EncodeToString(bytes, SealInfoAlphabet, '='); }

std::string SealInfoEncode(std::string_view bytes) { return SealInfoEncode(AsBytes(bytes)); }

std::vector<std::uint8_t> SealInfoDecode(std::string_view symbols) {
  symbols = symbols.substr(0, symbols.find('\0'));
  const std::size_t groups = symbols.size() / 4;
  std::vector<std::uint8_t> bytes(groups * 3);
  auto value = [](char symbol) -> std::uint32_t {
    const std::uint8_t position = SealInfoAlphabet.Position(symbol);
    return position == Alphabet::kNotInAlphabet ? 0 : position;
  };
  for (std::size_t g = 0; g < groups; ++g) {
    const char* in = symbols.data() + g * 4;
    const std::uint32_t v1 = value(in[0]), v2 = value(in[1]), v3 = value(in[2]), v4 = value(in[3]);
    bytes[g * 3] = static_cast<std::uint8_t>((v1 << 2) | (v2 >> 4));
    bytes[g * 3 + 1] = static_cast<std::uint8_t>((v2 << 4) | (v3 >> 2));
    bytes[g * 3 + 2] = static_cast<std::uint8_t>((v3 << 6) | v4);
  }
  return bytes;
}

std::vector<std::uint8_t> DecodeWithAlphabet(std::string_view symbols, const Alphabet& alphabet) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve((symbols.size() + 3) / 4 * 3);
  constexpr std::uint8_t kPad = Alphabet::kPadPosition;
  // Position of the symbol at index i, kPad for anything that counts as a pad.
  auto position = [&](std::size_t i) -> std::uint8_t {
    if (i >= symbols.size()) return kPad;
    const std::uint8_t p = alphabet.Position(symbols[i]);
    return p == Alphabet::kNotInAlphabet ? kPad : p;
  };
  for (std::size_t i = 0; i < symbols.size(); i += 4) {
    const std::uint8_t p[4] = {position(i), position(i + 1), position(i + 2), position(i + 3)};
    // A pad takes part in the arithmetic as zero so it adds no stray bits to the bytes given.
    std::uint32_t v[4];
    for (int k = 0; k < 4; ++k) v[k] = p[k] == kPad ? 0 : p[k];
    bytes.push_back(static_cast<std::uint8_t>((v[0] << 2) | (v[1] >> 4)));
    if (p[2] != kPad) bytes.push_back(static_cast<std::uint8_t>((v[1] << 4) | (v[2] >> 2)));
    if (p[3] != kPad) bytes.push_back(static_cast<std::uint8_t>((v[2] << 6) | v[3]));
  }
  return bytes;
}

}  // namespace sealrun::support
