#include "platform/text/CodePage.h"

#include <gtest/gtest.h>

#include "tests/testsupport/TempDir.h"

namespace sealrun::platform::text {
namespace {

TEST(CodePage, AnsiDefaultsToGbkAndFollowsTheEnvironmentOnlyWhenSupported) {
  // The slot is read once per process; here we only check the setter and the GBK round trip.
  const CodePage saved = AnsiCodePage();
  SetAnsiCodePage(936);
  EXPECT_EQ(FromUtf16(u"宋体", kCpAcp), "\xCB\xCE\xCC\xE5");
  EXPECT_EQ(ToUtf16("\xCB\xCE\xCC\xE5", kCpAcp), u"宋体");
  SetAnsiCodePage(1252);
  EXPECT_EQ(FromUtf16(u"caf\u00E9", kCpAcp), "caf\xE9");
  SetAnsiCodePage(saved);
}

TEST(CodePage, ConvertsTheWindowsCodePagesTheSystemNames) {
  struct Case {
    CodePage codePage;
    std::u16string text;
    std::string bytes;
  };
  const Case cases[] = {
      {936, u"中文", "\xD6\xD0\xCE\xC4"},
      {54936, u"中文", "\xD6\xD0\xCE\xC4"},
      {950, u"中文", "\xA4\xA4\xA4\xE5"},
      {932, u"日本", "\x93\xFA\x96\x7B"},
      {949, u"한", "\xC7\xD1"},
      {51949, u"한", "\xC7\xD1"},
      {1250, u"\u0141", "\xA3"},
      {1251, u"\u0416", "\xC6"},
      {1252, u"\u20AC", "\x80"},
      {1253, u"\u03A9", "\xD9"},
      {1254, u"\u011F", "\xF0"},
      {1255, u"\u05D0", "\xE0"},
      {1256, u"\u0627", "\xC7"},
      {1257, u"\u0101", "\xE2"},
      {1258, u"\u20AB", "\xFE"},
      {20127, u"abc", "abc"},
      {28591, u"\u00E9", "\xE9"},
      {28595, u"\u0416", "\xB6"},
      {28605, u"\u20AC", "\xA4"},
      {65001, u"\u00E9", "\xC3\xA9"},
      {1200, u"A\u4E2D", std::string("A\0\x2D\x4E", 4)},
      {1201, u"A\u4E2D", std::string("\0A\x4E\x2D", 4)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codePage);
    ASSERT_TRUE(IsCodePageSupported(c.codePage));
    const auto encoded = EncodeTo(c.text, c.codePage);
    EXPECT_EQ(encoded.text, c.bytes);
    EXPECT_FALSE(encoded.lossy);
    const auto decoded = DecodeFrom(c.bytes, c.codePage);
    EXPECT_EQ(decoded.text, c.text);
    EXPECT_FALSE(decoded.lossy);
  }
  EXPECT_TRUE(IsCodePageSupported(65000));
  EXPECT_FALSE(IsCodePageSupported(4242));
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarksAndReportTheLoss) {
  auto latin = EncodeTo(u"a中b\U0001F600c", 28591);
  EXPECT_EQ(latin.text, "a?b?c");  // the surrogate pair is one character
  EXPECT_TRUE(latin.lossy);
  auto gbk = DecodeFrom("ok\x81", 936);  // a lead byte without its trail
  EXPECT_EQ(gbk.text, u"ok?");
  EXPECT_TRUE(gbk.lossy);
  auto unknown = EncodeTo(u"ab", 4242);
  EXPECT_EQ(unknown.text, "??");
  EXPECT_TRUE(unknown.lossy);
  EXPECT_FALSE(EncodeTo(u"", 4242).lossy);
}

TEST(CodePage, LongTextsConvertWhole) {
  std::u16string text;
  for (int i = 0; i < 20000; ++i) text += u"印章";
  const auto bytes = EncodeTo(text, 936);
  EXPECT_EQ(bytes.text.size(), 80000u);
  EXPECT_EQ(DecodeFrom(bytes.text, 936).text, text);
}

}  // namespace
}  // namespace sealrun::platform::text

namespace sealrun::platform::text {
namespace {

TEST(CodePage, ConvertsByCharsetNameAndRefusesUnknownNames) {
  const auto gb = DecodeFromCharset("\xD6\xD0", "gb2312");
  ASSERT_TRUE(gb.has_value());
  EXPECT_EQ(gb->text, u"中");
  const auto back = EncodeToCharset(u"中", "GB2312");
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->text, "\xD6\xD0");
  const auto utf16be = EncodeToCharset(u"A\u00E9", "utf-16be");
  ASSERT_TRUE(utf16be.has_value());
  EXPECT_EQ(utf16be->text, std::string("\0A\0\xE9", 4));
  EXPECT_FALSE(DecodeFromCharset("x", "no-such-charset").has_value());
  EXPECT_FALSE(EncodeToCharset(u"x", "").has_value());
}

}  // namespace
}  // namespace sealrun::platform::text
