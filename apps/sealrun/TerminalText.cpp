#include "apps/sealrun/TerminalText.h"

#include <cstdint>
#include <cstdio>
#include <optional>

#include "platform/text/Utf.h"

namespace sealrun::apps {
namespace {

// Characters that move the cursor, change the terminal's state or the order in which text is shown.
bool Steers(char32_t c) {
  return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x2028 || c == 0x2029;
}

// The code point at text[at] and its length in bytes; nullopt for a byte that starts no valid UTF-8
// sequence (overlong forms and surrogates included).
std::optional<std::pair<char32_t, size_t>> DecodeAt(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at);
  if (lead < 0x80) return std::pair<char32_t, size_t>{lead, 1};
  size_t length = 0;
  char32_t value = 0;
  char32_t smallest = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, smallest = 0x10000;
  } else {
    return std::nullopt;
  }
  if (at + length > text.size()) return std::nullopt;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return std::nullopt;
    value = value << 6 | (byte(at + i) & 0x3F);
  }
  if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
  return std::pair<char32_t, size_t>{value, length};
}

// \xhh for a byte, \uhhhh for a code point beyond ASCII.
void AppendByteEscape(std::string& out, unsigned value) {
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, "\\x%02x", value);
  out += escaped;
}

void AppendCodePointEscape(std::string& out, unsigned value) {
  char escaped[12];
  std::snprintf(escaped, sizeof escaped, "\\u%04x", value);
  out += escaped;
}

enum class LineEnds { Escape, Keep };

std::string Escape(std::string_view text, LineEnds lineEnds) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    if (lineEnds == LineEnds::Keep && (text[at] == '\n' || text.substr(at, 2) == "\r\n")) {
      const size_t length = text[at] == '\n' ? 1 : 2;
      out.append(text.substr(at, length));
      at += length;
      continue;
    }
    const auto decoded = DecodeAt(text, at);
    if (!decoded) {
      AppendByteEscape(out, static_cast<uint8_t>(text[at]));
      ++at;
      continue;
    }
    const auto [c, length] = *decoded;
    if (!Steers(c))
      out.append(text.substr(at, length));
    else if (c < 0x80)
      AppendByteEscape(out, static_cast<unsigned>(c));
    else
      AppendCodePointEscape(out, static_cast<unsigned>(c));
    at += length;
  }
  return out;
}

}  // namespace

std::string TerminalSafe(std::string_view utf8) { return Escape(utf8, LineEnds::Escape); }

std::string TerminalSafe(std::u16string_view text) { return TerminalSafe(platform::text::Utf16ToUtf8(text)); }

std::u16string TerminalSafeLines(std::u16string_view text) {
  return platform::text::Utf8ToUtf16(Escape(platform::text::Utf16ToUtf8(text), LineEnds::Keep));
}

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (size_t at = 0; at < utf8.size();) {
    const auto decoded = DecodeAt(utf8, at);
    if (!decoded) {
      out += "\\ufffd";
      ++at;
      continue;
    }
    const auto [c, length] = *decoded;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (Steers(c)) {
      AppendCodePointEscape(out, static_cast<unsigned>(c));
    } else {
      out.append(utf8.substr(at, length));
    }
    at += length;
  }
  return out + "\"";
}

}  // namespace sealrun::apps
