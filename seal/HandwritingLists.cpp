#include "seal/HandwritingLists.h"

#include <vector>

#include "platform/text/CodePage.h"
#include "platform/text/Utf.h"
#include "support/CBase64Algo.h"

namespace sealrun::seal {
namespace {

constexpr std::u16string_view kStoredBreak = u"___";
constexpr std::u16string_view kLineBreak = u"\r\n";
constexpr size_t kMimeLineLength = 76;

std::u16string ReplaceAll(std::u16string_view text, std::u16string_view from, std::u16string_view to) {
  std::u16string result;
  result.reserve(text.size());
  size_t start = 0;
  for (size_t found; (found = text.find(from, start)) != std::u16string_view::npos; start = found + from.size()) {
    result.append(text.substr(start, found - start));
    result.append(to);
  }
  result.append(text.substr(start));
  return result;
}

}  // namespace

std::u16string EncodeHandwritingList(std::u16string_view listText) {
  const std::string utf8 = platform::text::Utf16ToUtf8(ReplaceAll(listText, kStoredBreak, kLineBreak));
  const std::string symbols =
      support::CBase64Algo().EncodeBytes({reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size()});
  std::u16string text;
  text.reserve(symbols.size() + symbols.size() / kMimeLineLength * 2);
  for (size_t i = 0; i < symbols.size(); ++i) {
    if (i > 0 && i % kMimeLineLength == 0) text.append(kLineBreak);
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(symbols[i])));
  }
  return text;
}

std::u16string DecodeHandwritingList(std::u16string_view base64, ListBytes bytes) {
  std::string narrow;
  narrow.reserve(base64.size());
  for (const char16_t unit : base64) {
    if (unit == u'\r' || unit == u'\n') continue;
    narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '\x80');
  }
  const std::vector<uint8_t> decoded = support::CBase64Algo().DecodeBytes(narrow);
  const std::string_view raw(reinterpret_cast<const char*>(decoded.data()), decoded.size());
  // The component echoes the UTF-8 it was given; reading that in the ANSI code page would store mangled
  // text back into the settings file on every capture.
  const bool utf8 = bytes == ListBytes::Utf8 || platform::text::IsValidUtf8(raw);
  const std::u16string text =
      utf8 ? platform::text::Utf8ToUtf16(raw) : platform::text::ToUtf16(raw, platform::text::kCpAcp);
  return ReplaceAll(text, kLineBreak, kStoredBreak);
}

std::u16string_view HandwritingLanguagePrefix(int32_t languageId) {
  switch (languageId) {
    case 2052:
      return u"GBC_";
    case 1028:
    case 3076:
      return u"GBB_";
    case 1033:
      return u"ENG_";
    default:
      return u"";
  }
}

}  // namespace sealrun::seal
