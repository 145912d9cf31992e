#include "platform/text/CharsetNames.h"

#include "platform/text/Utf.h"

namespace sealrun::platform::text {

std::optional<CodePage> CodePageOfCharsetName(std::string_view name) {
  for (const CharsetName& entry : kCharsetNames)
    if (EqualsIgnoreAsciiCase(name, entry.name)) return entry.codePage;
  return std::nullopt;
}

}  // namespace sealrun::platform::text
