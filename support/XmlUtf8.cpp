#include "support/XmlUtf8.h"

#include <cstdint>
#include <cstring>

namespace sealrun::support {

std::optional<std::u16string> DecodeValidUtf8(std::string_view bytes) {
  std::u16string out(bytes.size(), u'\0');  // UTF-16 never needs more units than UTF-8 has bytes
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  std::size_t o = 0;
  while (i < n) {
    // Eight ASCII bytes at a time.
    if (n - i >= 8) {
      std::uint64_t chunk = 0;
      std::memcpy(&chunk, in + i, 8);
      if ((chunk & 0x8080808080808080ULL) == 0) {
        for (int k = 0; k < 8; ++k) out[o++] = in[i + k];
        i += 8;
        continue;
      }
    }
    const unsigned char b0 = in[i];
    if (b0 < 0x80) {
      out[o++] = b0;
      ++i;
      continue;
    }
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
      length = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      length = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      length = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
      return std::nullopt;
    }
    if (n - i < length) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char b = in[i + k];
      if ((b & 0xC0) != 0x80) return std::nullopt;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    i += length;
    if (cp < 0x10000) {
      out[o++] = static_cast<char16_t>(cp);
    } else {
      cp -= 0x10000;
      out[o++] = static_cast<char16_t>(0xD800 + (cp >> 10));
      out[o++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
  }
  out.resize(o);
  return out;
}

}  // namespace sealrun::support
