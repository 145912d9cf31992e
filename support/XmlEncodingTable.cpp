#include "support/XmlEncodingTable.h"

#include <array>
#include <cstdint>

#include "platform/text/CharsetNames.h"
#include "platform/text/Utf.h"

namespace sealrun::support {
namespace {

using platform::text::CodePage;

constexpr const auto& kEntries = platform::text::kCharsetNames;

constexpr std::size_t BucketOfAscii(std::string_view name) {
  std::size_t sum = 0;
  for (const char c : name) sum += static_cast<unsigned char>(c);
  return sum % kXmlEncodingBucketCount;
}

// The entries grouped by bucket: bucket b holds order[start[b]] .. order[start[b + 1] - 1].
struct BucketIndex {
  std::array<std::uint16_t, kXmlEncodingBucketCount + 1> start{};
  std::array<std::uint16_t, kXmlEncodingEntryCount> order{};
};

constexpr BucketIndex MakeBucketIndex() {
  BucketIndex index;
  for (const auto& entry : kEntries) ++index.start[BucketOfAscii(entry.name) + 1];
  for (std::size_t b = 1; b <= kXmlEncodingBucketCount; ++b) index.start[b] += index.start[b - 1];
  std::array<std::uint16_t, kXmlEncodingBucketCount> next{};
  for (std::size_t b = 0; b < kXmlEncodingBucketCount; ++b) next[b] = index.start[b];
  for (std::size_t i = 0; i < kEntries.size(); ++i) index.order[next[BucketOfAscii(kEntries[i].name)]++] = static_cast<std::uint16_t>(i);
  return index;
}

constexpr BucketIndex kIndex = MakeBucketIndex();

// Equal names share a bucket, so comparing within buckets finds every duplicate.
constexpr bool NamesAreUniqueLowerCase() {
  for (const auto& entry : kEntries) {
    for (const char c : entry.name)
      if (c >= 'A' && c <= 'Z') return false;
  }
  for (std::size_t b = 0; b < kXmlEncodingBucketCount; ++b) {
    for (std::size_t i = kIndex.start[b]; i < kIndex.start[b + 1]; ++i)
      for (std::size_t j = i + 1; j < kIndex.start[b + 1]; ++j)
        if (kEntries[kIndex.order[i]].name == kEntries[kIndex.order[j]].name) return false;
  }
  return true;
}
static_assert(NamesAreUniqueLowerCase(), "encoding names must be unique and lower case");

bool SameName(std::u16string_view folded, std::string_view ascii) {
  if (folded.size() != ascii.size()) return false;
  for (std::size_t i = 0; i < ascii.size(); ++i)
    if (folded[i] != static_cast<char16_t>(static_cast<unsigned char>(ascii[i]))) return false;
  return true;
}

}  // namespace

std::size_t XmlEncodingBucketOf(std::u16string_view name) {
  std::size_t sum = 0;
  for (const char16_t unit : name) sum += unit;
  return sum % kXmlEncodingBucketCount;
}

std::span<const XmlEncodingEntry> XmlEncodingEntries() { return kEntries; }

std::optional<CodePage> CodePageOfEncodingName(std::u16string_view name) {
  if (name.size() >= kXmlEncodingNameLimit) return std::nullopt;
  if (name.starts_with(u"UTF-32")) {
    return platform::text::EqualsIgnoreAsciiCase(name.substr(6), u"BE") ? platform::text::kCpUtf32Be
                                                                         : platform::text::kCpUtf32Le;
  }
  const std::u16string folded = platform::text::AsciiLower(name);
  const std::size_t bucket = XmlEncodingBucketOf(folded);
  for (std::size_t i = kIndex.start[bucket]; i < kIndex.start[bucket + 1]; ++i) {
    const XmlEncodingEntry& entry = kEntries[kIndex.order[i]];
    if (SameName(folded, entry.name)) return entry.codePage;
  }
  return std::nullopt;
}

}  // namespace sealrun::support
