#include "platform/text/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>

#include "platform/text/Utf.h"

namespace sealrun::platform::text {
namespace {

struct CodePageName {
  CodePage codePage;
  std::string_view iconvName;
};

// Windows code pages and the names glibc's iconv knows them by.
constexpr std::array kCodePages{
    CodePageName{37, "IBM037"},          CodePageName{437, "CP437"},         CodePageName{500, "IBM500"},
    CodePageName{708, "ISO-8859-6"},     CodePageName{737, "CP737"},         CodePageName{775, "CP775"},
    CodePageName{850, "CP850"},          CodePageName{852, "CP852"},         CodePageName{855, "CP855"},
    CodePageName{857, "CP857"},          CodePageName{858, "CP858"},         CodePageName{860, "CP860"},
    CodePageName{861, "CP861"},          CodePageName{862, "CP862"},         CodePageName{863, "CP863"},
    CodePageName{864, "CP864"},          CodePageName{865, "CP865"},         CodePageName{866, "CP866"},
    CodePageName{869, "CP869"},          CodePageName{874, "CP874"},         CodePageName{875, "CP875"},
    CodePageName{932, "CP932"},          CodePageName{936, "CP936"},         CodePageName{949, "CP949"},
    CodePageName{950, "CP950"},          CodePageName{1026, "IBM1026"},      CodePageName{1047, "IBM1047"},
    CodePageName{1140, "IBM1140"},       CodePageName{1141, "IBM1141"},      CodePageName{1142, "IBM1142"},
    CodePageName{1143, "IBM1143"},       CodePageName{1144, "IBM1144"},      CodePageName{1145, "IBM1145"},
    CodePageName{1146, "IBM1146"},       CodePageName{1147, "IBM1147"},      CodePageName{1148, "IBM1148"},
    CodePageName{1149, "IBM1149"},       CodePageName{1200, "UTF-16LE"},     CodePageName{1201, "UTF-16BE"},
    CodePageName{1250, "CP1250"},        CodePageName{1251, "CP1251"},       CodePageName{1252, "CP1252"},
    CodePageName{1253, "CP1253"},        CodePageName{1254, "CP1254"},       CodePageName{1255, "CP1255"},
    CodePageName{1256, "CP1256"},        CodePageName{1257, "CP1257"},       CodePageName{1258, "CP1258"},
    CodePageName{1361, "JOHAB"},         CodePageName{10000, "MACINTOSH"},   CodePageName{10007, "MAC-CYRILLIC"},
    CodePageName{12000, "UTF-32LE"},     CodePageName{12001, "UTF-32BE"},    CodePageName{20127, "ASCII"},
    CodePageName{20866, "KOI8-R"},       CodePageName{20932, "EUC-JP"},      CodePageName{20936, "EUC-CN"},
    CodePageName{21866, "KOI8-U"},       CodePageName{28591, "ISO-8859-1"},  CodePageName{28592, "ISO-8859-2"},
    CodePageName{28593, "ISO-8859-3"},   CodePageName{28594, "ISO-8859-4"},  CodePageName{28595, "ISO-8859-5"},
    CodePageName{28596, "ISO-8859-6"},   CodePageName{28597, "ISO-8859-7"},  CodePageName{28598, "ISO-8859-8"},
    CodePageName{28599, "ISO-8859-9"},   CodePageName{28600, "ISO-8859-10"}, CodePageName{28601, "ISO-8859-11"},
    CodePageName{28603, "ISO-8859-13"},  CodePageName{28604, "ISO-8859-14"}, CodePageName{28605, "ISO-8859-15"},
    CodePageName{28606, "ISO-8859-16"},  CodePageName{38598, "ISO-8859-8"},  CodePageName{50220, "ISO-2022-JP"},
    CodePageName{50221, "ISO-2022-JP"},  CodePageName{50222, "ISO-2022-JP"}, CodePageName{50225, "ISO-2022-KR"},
    CodePageName{51932, "EUC-JP"},       CodePageName{51936, "EUC-CN"},      CodePageName{51949, "EUC-KR"},
    CodePageName{54936, "GB18030"},      CodePageName{65000, "UTF-7"},       CodePageName{65001, "UTF-8"},
};

CodePage InitialAnsiCodePage() {
  if (const char* value = std::getenv("SEALRUN_ANSI_CODEPAGE")) {
    char* end = nullptr;
    const unsigned long parsed = std::strtoul(value, &end, 10);
    if (end != value && *end == '\0' && parsed != 0 && IsCodePageSupported(static_cast<CodePage>(parsed)))
      return static_cast<CodePage>(parsed);
  }
  return kCpGbk;
}

std::atomic<CodePage>& AnsiSlot() {
  static std::atomic<CodePage> slot{InitialAnsiCodePage()};
  return slot;
}

CodePage Resolve(CodePage codePage) { return codePage == kCpAcp ? AnsiCodePage() : codePage; }

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle OpenIconv(std::string_view to, std::string_view from) {
  iconv_t cd = iconv_open(std::string(to).c_str(), std::string(from).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return IconvHandle(cd);
}

// Runs iconv over the whole input; on an unconvertible unit writes `replacement` and skips `unitSize` bytes.
// Returns false when something was replaced.
bool RunIconv(iconv_t cd, std::string_view in, size_t unitSize, std::string_view replacement, std::string& out) {
  bool clean = true;
  auto* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  std::array<char, 4096> buffer{};
  while (inLeft > 0) {
    char* outPtr = buffer.data();
    size_t outLeft = buffer.size();
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out.append(buffer.data(), buffer.size() - outLeft);
    if (rc != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ (cannot be converted) or EINVAL (incomplete sequence at the end).
    clean = false;
    out.append(replacement);
    size_t skip = std::min(unitSize, inLeft);
    // A high surrogate with its low partner is one character of UTF-16 input.
    if (unitSize == 2 && inLeft >= 4) {
      const auto unit = static_cast<uint16_t>(static_cast<uint8_t>(inPtr[0]) | (static_cast<uint8_t>(inPtr[1]) << 8));
      const auto next = static_cast<uint16_t>(static_cast<uint8_t>(inPtr[2]) | (static_cast<uint8_t>(inPtr[3]) << 8));
      if (unit >= 0xD800 && unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) skip = 4;
    }
    inPtr += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset shift state
  }
  char* outPtr = buffer.data();
  size_t outLeft = buffer.size();
  iconv(cd, nullptr, nullptr, &outPtr, &outLeft);  // flush a stateful encoding's final shift
  out.append(buffer.data(), buffer.size() - outLeft);
  return clean;
}

std::u16string FromLittleEndianBytes(const std::string& bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) | (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
  return out;
}

std::string ToLittleEndianBytes(std::u16string_view text) {
  std::string out(text.size() * 2, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    out[2 * i] = static_cast<char>(text[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return out;
}

}  // namespace

CodePage AnsiCodePage() { return AnsiSlot().load(std::memory_order_relaxed); }

void SetAnsiCodePage(CodePage codePage) { AnsiSlot().store(codePage, std::memory_order_relaxed); }

std::optional<std::string_view> IconvName(CodePage codePage) {
  for (const auto& entry : kCodePages)
    if (entry.codePage == codePage) return entry.iconvName;
  return std::nullopt;
}

bool IsCodePageSupported(CodePage codePage) {
  const auto name = IconvName(codePage);
  return name && OpenIconv("UTF-16LE", *name) != nullptr;
}

namespace {

// Width in bytes of one code unit of the named encoding (iconv names as used here).
size_t UnitSize(std::string_view iconvName) {
  std::string upper(iconvName);
  for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper.starts_with("UTF-16") || upper.starts_with("UCS-2") || upper.starts_with("UNICODE")) return 2;
  if (upper.starts_with("UTF-32") || upper.starts_with("UCS-4")) return 4;
  return 1;
}

std::optional<Converted<std::u16string>> DecodeWith(std::string_view bytes, std::string_view iconvName) {
  IconvHandle cd = OpenIconv("UTF-16LE", iconvName);
  if (!cd) return std::nullopt;
  std::string utf16le;
  utf16le.reserve(bytes.size() * 2);
  const bool clean = RunIconv(static_cast<iconv_t>(cd.get()), bytes, UnitSize(iconvName), std::string_view("?\0", 2), utf16le);
  return Converted<std::u16string>{FromLittleEndianBytes(utf16le), !clean};
}

std::optional<Converted<std::string>> EncodeWith(std::u16string_view text, std::string_view iconvName) {
  IconvHandle cd = OpenIconv(iconvName, "UTF-16LE");
  if (!cd) return std::nullopt;
  // "?" in the target encoding: one byte for 8-bit and multibyte code pages, wider for UTF-16/32.
  const size_t unit = UnitSize(iconvName);
  const bool bigEndian = iconvName.ends_with("BE") || iconvName.ends_with("be");
  std::string replacement(unit, '\0');
  replacement[bigEndian ? unit - 1 : 0] = '?';
  std::string out;
  out.reserve(text.size() * 2);
  const bool clean = RunIconv(static_cast<iconv_t>(cd.get()), ToLittleEndianBytes(text), 2, replacement, out);
  return Converted<std::string>{std::move(out), !clean};
}

}  // namespace

Converted<std::u16string> DecodeFrom(std::string_view bytes, CodePage codePage) {
  codePage = Resolve(codePage);
  if (codePage == kCpUtf8) return {Utf8ToUtf16(bytes), !IsValidUtf8(bytes)};
  const auto name = IconvName(codePage);
  if (auto converted = name ? DecodeWith(bytes, *name) : std::nullopt) return std::move(*converted);
  return {std::u16string(bytes.size(), u'?'), !bytes.empty()};
}

Converted<std::string> EncodeTo(std::u16string_view text, CodePage codePage) {
  codePage = Resolve(codePage);
  if (codePage == kCpUtf8) {
    std::string utf8 = Utf16ToUtf8(text);
    const bool lossy = Utf8ToUtf16(utf8) != text;
    return {std::move(utf8), lossy};
  }
  const auto name = IconvName(codePage);
  if (auto converted = name ? EncodeWith(text, *name) : std::nullopt) return std::move(*converted);
  return {std::string(text.size(), '?'), !text.empty()};
}

std::optional<Converted<std::u16string>> DecodeFromCharset(std::string_view bytes, std::string_view charset) {
  if (charset.empty()) return std::nullopt;
  return DecodeWith(bytes, charset);
}

std::optional<Converted<std::string>> EncodeToCharset(std::u16string_view text, std::string_view charset) {
  if (charset.empty()) return std::nullopt;
  return EncodeWith(text, charset);
}

std::u16string ToUtf16(std::string_view bytes, CodePage codePage) { return DecodeFrom(bytes, codePage).text; }

std::string FromUtf16(std::u16string_view text, CodePage codePage) { return EncodeTo(text, codePage).text; }

}  // namespace sealrun::platform::text
