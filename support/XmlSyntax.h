#pragma once
// Character classes and small scanners shared by the XML parser and the document's accessors.
#include <cstddef>
#include <optional>
#include <string_view>

namespace sealrun::support {

inline bool IsXmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Names are read loosely (any run of characters up to a delimiter), so damaged names still index.
inline bool IsXmlNameChar(char16_t c) {
  return c > u' ' && c != u'/' && c != u'>' && c != u'<' && c != u'=' && c != u'"' && c != u'\'';
}

inline bool IsXmlNameStart(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u':' || c >= 0x80;
}

// The end of the name starting at `from`.
inline std::size_t XmlNameEnd(std::u16string_view text, std::size_t from) {
  while (from < text.size() && IsXmlNameChar(text[from])) ++from;
  return from;
}

// The value of attribute `name` in `attributes` (the inside of a start tag after the element's name), as
// written, without its quotes. Matching ignores ASCII case when asked (HTML).
std::optional<std::u16string_view> FindXmlAttribute(std::u16string_view attributes, std::u16string_view name,
                                                    bool ignoreCase);

}  // namespace sealrun::support
