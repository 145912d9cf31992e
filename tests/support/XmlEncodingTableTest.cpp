#include "support/XmlEncodingTable.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/text/Utf.h"

namespace sealrun::support {
namespace {

TEST(XmlEncodingTable, HoldsEveryNameOnceAndFindsEachInAnyCase) {
  const auto entries = XmlEncodingEntries();
  ASSERT_EQ(entries.size(), 365u);
  std::set<std::string_view> names;
  std::set<std::size_t> buckets;
  for (const XmlEncodingEntry& entry : entries) {
    EXPECT_TRUE(names.insert(entry.name).second) << entry.name;
    const std::u16string name = platform::text::Widen(entry.name);
    buckets.insert(XmlEncodingBucketOf(name));
    EXPECT_EQ(CodePageOfEncodingName(name), entry.codePage) << entry.name;
    std::u16string upper = name;
    for (char16_t& c : upper) {
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    }
    if (!upper.starts_with(u"UTF-32")) {
      EXPECT_EQ(CodePageOfEncodingName(upper), entry.codePage) << entry.name;
    }
  }
  EXPECT_GT(buckets.size(), 100u);  // the names spread over the buckets
  EXPECT_EQ(XmlEncodingBucketOf(u"utf-8"), (117u + 116 + 102 + 45 + 56) % 155);
}

TEST(XmlEncodingTable, KnowsTheCommonNamesAndNothingElse) {
  const std::pair<std::u16string_view, unsigned> known[] = {
      {u"utf-8", 65001},      {u"utf8", 65001},        {u"gbk", 936},          {u"gb2312", 936},
      {u"big5", 950},         {u"gb18030", 54936},     {u"iso-8859-1", 28591}, {u"windows-1252", 1252},
      {u"utf-16", 1200},      {u"ucs-2", 1200},        {u"unicode", 1200},     {u"utf-16be", 1201},
      {u"us-ascii", 20127},   {u"shift_jis", 932},     {u"euc-kr", 51949},     {u"utf-7", 65000},
      {u"x-cp20936", 20936},  {u"ks_c_5601-1987", 949}, {u"unicodefffe", 1201}, {u"latin1", 28591},
      {u"UTF-32", 12000},     {u"UTF-32BE", 12001},    {u"koi8-r", 20866},     {u"csgb2312", 936},
  };
  for (const auto& [name, codePage] : known)
    EXPECT_EQ(CodePageOfEncodingName(name), codePage) << platform::text::Utf16ToUtf8(name);
  EXPECT_EQ(CodePageOfEncodingName(u""), std::nullopt);
  EXPECT_EQ(CodePageOfEncodingName(u"utf-8 "), std::nullopt);
  EXPECT_EQ(CodePageOfEncodingName(u"x-nonesuch"), std::nullopt);
  EXPECT_EQ(CodePageOfEncodingName(u"ｇｂｋ"), std::nullopt);
  EXPECT_EQ(CodePageOfEncodingName(std::u16string(100, u'a')), std::nullopt);
  EXPECT_EQ(CodePageOfEncodingName(u"UTF-32" + std::u16string(94, u'B')), std::nullopt);
}

}  // namespace
}  // namespace sealrun::support
