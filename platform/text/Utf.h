#pragma once
// UTF-8 and UTF-16 without a code page table: the system's inner text is UTF-16. Every conversion between
// the two, and every walk over the code points of UTF-16 text, goes through here.
#include <cstddef>
#include <string>
#include <string_view>

namespace sealrun::platform::text {

// Invalid or truncated UTF-8 sequences become U+FFFD, as Windows does.
std::u16string Utf8ToUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
bool IsValidUtf8(std::string_view bytes);

// The code point that starts at text[index] (index < text.size()), and index moved past it: a surrogate
// pair gives its supplementary code point. An unpaired surrogate gives its own value, which is no Unicode
// scalar value: a search matches it only by itself and a font has no glyph for it.
char32_t NextCodePoint(std::u16string_view text, std::size_t& index);
// Every code point of the text, unpaired surrogates as NextCodePoint gives them.
std::u32string CodePoints(std::u16string_view text);

// ASCII-only helpers for names and keys (no locale involved).
char16_t AsciiLower(char16_t c);
std::u16string AsciiLower(std::u16string_view text);
bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// Text of plain ASCII bytes (literals, numbers) as UTF-16.
std::u16string Widen(std::string_view ascii);

}  // namespace sealrun::platform::text
