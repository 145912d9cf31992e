#pragma once
// Windows code page numbers, the process's ANSI code page, and conversion between
// UTF-16 and any code page the system knows (through iconv).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sealrun::platform::text {

using CodePage = unsigned;

inline constexpr CodePage kCpAcp = 0;  // "the thread's ANSI code page"
inline constexpr CodePage kCpGbk = 936;
inline constexpr CodePage kCpUtf16Le = 1200;
inline constexpr CodePage kCpUtf16Be = 1201;
inline constexpr CodePage kCpUtf32Le = 12000;
inline constexpr CodePage kCpUtf32Be = 12001;
inline constexpr CodePage kCpUsAscii = 20127;
inline constexpr CodePage kCpUtf7 = 65000;
inline constexpr CodePage kCpUtf8 = 65001;

// The process-wide ANSI code page: SEALRUN_ANSI_CODEPAGE when it names a supported code page, else 936.
CodePage AnsiCodePage();
// Replaces the process-wide ANSI code page (tests, or a front end honouring a user choice).
void SetAnsiCodePage(CodePage codePage);

// The iconv name of a Windows code page, or nullopt when the code page is unknown.
std::optional<std::string_view> IconvName(CodePage codePage);
// True when the code page is known and this machine's iconv can convert it.
bool IsCodePageSupported(CodePage codePage);

// Result of a conversion: the converted text and whether anything was replaced by "?".
template <typename Text>
struct Converted {
  Text text;
  bool lossy = false;
};

// Bytes in a code page (kCpAcp for the ANSI code page) to UTF-16. Bytes that do not decode become "?".
Converted<std::u16string> DecodeFrom(std::string_view bytes, CodePage codePage);
// UTF-16 to bytes in a code page. Characters the code page cannot represent become "?".
Converted<std::string> EncodeTo(std::u16string_view text, CodePage codePage);

// The same by charset name as iconv knows it ("gb2312", "windows-1252", "ISO-8859-1", ...); nullopt when this
// machine's iconv does not know the name.
std::optional<Converted<std::u16string>> DecodeFromCharset(std::string_view bytes, std::string_view charset);
std::optional<Converted<std::string>> EncodeToCharset(std::u16string_view text, std::string_view charset);

// Shorthands that drop the loss flag.
std::u16string ToUtf16(std::string_view bytes, CodePage codePage);
std::string FromUtf16(std::u16string_view text, CodePage codePage);

}  // namespace sealrun::platform::text
