#pragma once
// UTF-8 and UTF-16 without a code page table: the system's inner text is UTF-16.
#include <string>
#include <string_view>

namespace sealrun::platform::text {

// Invalid or truncated UTF-8 sequences become U+FFFD, as Windows does.
std::u16string Utf8ToUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
bool IsValidUtf8(std::string_view bytes);

// ASCII-only helpers for names and keys (no locale involved).
char16_t AsciiLower(char16_t c);
std::u16string AsciiLower(std::u16string_view text);
bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// Text of plain ASCII bytes (literals, numbers) as UTF-16.
std::u16string Widen(std::string_view ascii);

}  // namespace sealrun::platform::text
