#include "platform/crypto/PemArmour.h"

#include <array>

namespace sealrun::platform::crypto {
namespace {

constexpr std::string_view kBegin = "-----BEGIN ";
constexpr std::string_view kEnd = "-----END ";
constexpr std::string_view kDashes = "-----";
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::array<int, 256> DecodeTable() {
  std::array<int, 256> table{};
  table.fill(-1);
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
  return table;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::optional<Bytes> DecodeBase64(std::string_view text) {
  static const std::array<int, 256> table = DecodeTable();
  Bytes out;
  out.reserve(text.size() * 3 / 4);
  unsigned int buffer = 0;
  int bits = 0;
  int padding = 0;
  for (const char c : text) {
    if (IsSpace(c)) continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    const int value = table[static_cast<unsigned char>(c)];
    if (value < 0 || padding > 0) return std::nullopt;
    buffer = (buffer << 6) | static_cast<unsigned int>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<std::uint8_t>((buffer >> bits) & 0xFF));
    }
  }
  if (padding > 2 || bits >= 6) return std::nullopt;
  return out;
}

bool HasPemArmour(std::string_view text) { return text.find(kBegin) != std::string_view::npos; }

std::optional<PemBlock> FindPemBlock(std::string_view text, std::string_view wanted) {
  std::size_t position = 0;
  while ((position = text.find(kBegin, position)) != std::string_view::npos) {
    const std::size_t labelStart = position + kBegin.size();
    const std::size_t labelEnd = text.find(kDashes, labelStart);
    if (labelEnd == std::string_view::npos) return std::nullopt;
    const std::string_view label = text.substr(labelStart, labelEnd - labelStart);
    position = labelEnd + kDashes.size();
    if (!wanted.empty() && label != wanted) continue;

    std::string endLine(kEnd);
    endLine.append(label).append(kDashes);
    const std::size_t end = text.find(endLine, position);
    if (end == std::string_view::npos) return std::nullopt;

    // Skip RFC 1421 header lines: everything up to a blank line when the first line has a colon.
    std::string_view body = text.substr(position, end - position);
    const std::size_t firstLineEnd = body.find('\n', body.find_first_not_of("\r\n"));
    if (firstLineEnd != std::string_view::npos &&
        body.substr(0, firstLineEnd).find(':') != std::string_view::npos) {
      std::size_t blank = body.find("\n\n");
      std::size_t skip = 2;
      if (const std::size_t crlf = body.find("\n\r\n"); crlf != std::string_view::npos && crlf < blank) {
        blank = crlf;
        skip = 3;
      }
      if (blank == std::string_view::npos) return std::nullopt;
      body = body.substr(blank + skip);
    }
    auto der = DecodeBase64(body);
    if (!der || der->empty()) return std::nullopt;
    return PemBlock{std::string(label), std::move(*der)};
  }
  return std::nullopt;
}

std::string EncodePem(std::string_view label, ByteView der) {
  std::string base64;
  base64.reserve((der.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < der.size(); i += 3) {
    const unsigned int b0 = der[i];
    const unsigned int b1 = i + 1 < der.size() ? der[i + 1] : 0;
    const unsigned int b2 = i + 2 < der.size() ? der[i + 2] : 0;
    const unsigned int triple = (b0 << 16) | (b1 << 8) | b2;
    base64 += kAlphabet[(triple >> 18) & 63];
    base64 += kAlphabet[(triple >> 12) & 63];
    base64 += i + 1 < der.size() ? kAlphabet[(triple >> 6) & 63] : '=';
    base64 += i + 2 < der.size() ? kAlphabet[triple & 63] : '=';
  }
  std::string pem;
  pem.append(kBegin).append(label).append(kDashes).append("\n");
  for (std::size_t i = 0; i < base64.size(); i += 64) pem.append(base64, i, 64).append("\n");
  pem.append(kEnd).append(label).append(kDashes).append("\n");
  return pem;
}

}  // namespace sealrun::platform::crypto
