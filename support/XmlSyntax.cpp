#include "support/XmlSyntax.h"

#include "platform/text/Utf.h"

namespace sealrun::support {

std::optional<std::u16string_view> FindXmlAttribute(std::u16string_view attributes, std::u16string_view name,
                                                    bool ignoreCase) {
  std::size_t i = 0;
  const std::size_t n = attributes.size();
  while (i < n) {
    while (i < n && (IsXmlSpace(attributes[i]) || attributes[i] == u'/')) ++i;
    if (i >= n || attributes[i] == u'>' || attributes[i] == u'?') return std::nullopt;
    const std::size_t nameStart = i;
    while (i < n && !IsXmlSpace(attributes[i]) && attributes[i] != u'=' && attributes[i] != u'>' &&
           attributes[i] != u'/')
      ++i;
    if (i == nameStart) ++i;  // a stray character: step over it
    const std::u16string_view attributeName = attributes.substr(nameStart, i - nameStart);
    while (i < n && IsXmlSpace(attributes[i])) ++i;
    std::u16string_view value;
    if (i < n && attributes[i] == u'=') {
      ++i;
      while (i < n && IsXmlSpace(attributes[i])) ++i;
      if (i < n && (attributes[i] == u'"' || attributes[i] == u'\'')) {
        const char16_t quote = attributes[i++];
        std::size_t close = attributes.find(quote, i);
        if (close == std::u16string_view::npos) close = n;
        value = attributes.substr(i, close - i);
        i = close < n ? close + 1 : n;
      } else {
        const std::size_t valueStart = i;
        while (i < n && !IsXmlSpace(attributes[i]) && attributes[i] != u'>') ++i;
        value = attributes.substr(valueStart, i - valueStart);
      }
    }
    const bool match = ignoreCase ? platform::text::EqualsIgnoreAsciiCase(attributeName, name) : attributeName == name;
    if (match) return value;
  }
  return std::nullopt;
}

}  // namespace sealrun::support
