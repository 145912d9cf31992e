#pragma once
// Encoding names as they appear in XML declarations and HTML meta tags, mapped to Windows code pages.
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "platform/text/CharsetNames.h"

namespace sealrun::support {

using XmlEncodingEntry = platform::text::CharsetName;

inline constexpr std::size_t kXmlEncodingEntryCount = platform::text::kCharsetNameCount;
inline constexpr std::size_t kXmlEncodingBucketCount = 155;
// Names this long or longer are never looked up.
inline constexpr std::size_t kXmlEncodingNameLimit = 100;

// The bucket of a name: the sum of its UTF-16 code units modulo the bucket count.
std::size_t XmlEncodingBucketOf(std::u16string_view name);

// Every (name, code page) pair the table holds.
std::span<const XmlEncodingEntry> XmlEncodingEntries();

// The code page of an encoding name, or nullopt when the name is unknown. Names starting with "UTF-32"
// (upper case, as some writers emit it) are UTF-32; anything else is matched ignoring ASCII case.
std::optional<platform::text::CodePage> CodePageOfEncodingName(std::u16string_view name);

}  // namespace sealrun::support
