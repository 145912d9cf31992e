// UTF-8 and UTF-16 conversions and the code points of UTF-16 text, on valid text and on the damaged text
// files, engines and users hand over: every converted text is well formed, every unit of input is accounted
// for, and nothing is read past the end.
#include "platform/text/Utf.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sealrun::platform::text {
namespace {

// True when every surrogate in the text is half of a pair in the right order.
bool IsWellFormedUtf16(std::u16string_view text) {
  for (const char32_t point : CodePoints(text))
    if (point >= 0xD800 && point <= 0xDFFF) return false;
  return true;
}

TEST(Utf, RoundTripsBmpAndSupplementaryCharacters) {
  const std::u16string text = u"印章 seal \U0001F600 é";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf16ToUtf8(u"宋体"), "\xE5\xAE\x8B\xE4\xBD\x93");
}

TEST(Utf, InvalidSequencesBecomeReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD");      // overlong "/"
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");  // encoded surrogate
  EXPECT_EQ(Utf8ToUtf16("x\xE5\xAE"), u"x\uFFFD");    // truncated at the end
  EXPECT_FALSE(IsValidUtf8("\xE5\xAE"));
  EXPECT_TRUE(IsValidUtf8("\xE5\xAE\x8B"));
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

TEST(Utf, CodePointsJoinPairsAndKeepUnpairedSurrogatesAsThemselves) {
  struct Case {
    const char* label;
    std::u16string text;
    std::u32string points;
  };
  const std::vector<Case> cases = {
      {"empty", u"", U""},
      {"BMP text", u"印章 a", U"印章 a"},
      {"pair", u"\U0001F600", U"\U0001F600"},
      {"pairs side by side", u"\U00010000\U0010FFFF", U"\U00010000\U0010FFFF"},
      {"high at the end", std::u16string{u'a', 0xD83D}, std::u32string{U'a', 0xD83D}},
      {"high before a letter", std::u16string{0xD83D, u'b'}, std::u32string{0xD83D, U'b'}},
      {"two highs then a low", std::u16string{0xD83D, 0xD83D, 0xDE00}, std::u32string{0xD83D, 0x1F600}},
      {"low alone", std::u16string{u'c', 0xDE00, u'd'}, std::u32string{U'c', 0xDE00, U'd'}},
      {"low before high", std::u16string{0xDE00, 0xD83D}, std::u32string{0xDE00, 0xD83D}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CodePoints(c.text), c.points) << c.label;
    // One step per code point, and never past the end.
    std::size_t index = 0;
    std::size_t steps = 0;
    while (index < c.text.size()) {
      const std::size_t before = index;
      NextCodePoint(c.text, index);
      EXPECT_TRUE(index == before + 1 || index == before + 2) << c.label;
      ++steps;
    }
    EXPECT_EQ(index, c.text.size()) << c.label;
    EXPECT_EQ(steps, c.points.size()) << c.label;
  }
}

TEST(Utf, UnpairedSurrogatesBecomeOneReplacementCharacterEachInUtf8) {
  struct Case {
    const char* label;
    std::u16string text;
    std::string utf8;
  };
  const std::vector<Case> cases = {
      {"high at the end", std::u16string{u'a', 0xD800}, "a\xEF\xBF\xBD"},
      {"high before a letter", std::u16string{0xDBFF, u'b'}, "\xEF\xBF\xBD" "b"},
      {"low alone", std::u16string{0xDC00}, "\xEF\xBF\xBD"},
      {"low before high", std::u16string{0xDC00, 0xD800}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"lone high, then a pair", std::u16string{0xD800, 0xD83D, 0xDE00}, "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
  };
  for (const Case& c : cases) {
    const std::string utf8 = Utf16ToUtf8(c.text);
    EXPECT_EQ(utf8, c.utf8) << c.label;
    EXPECT_TRUE(IsValidUtf8(utf8)) << c.label;
    EXPECT_TRUE(IsWellFormedUtf16(Utf8ToUtf16(utf8))) << c.label;
  }
}

TEST(Utf, DamagedUtf8AlwaysGivesWellFormedUtf16) {
  struct Case {
    const char* label;
    std::string utf8;
    std::u16string text;
  };
  const std::vector<Case> cases = {
      {"lone continuation byte", "a\x80" "b", u"a\uFFFDb"},
      {"lead byte of a five-byte form", "\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"overlong three-byte form", "\xE0\x80\xAF", u"\uFFFD"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD"},
      {"encoded low surrogate", "\xED\xB0\x80", u"\uFFFD"},
      {"truncated before a letter", "\xE5\xAE" "x", u"\uFFFDx"},
      {"truncated four-byte form at the end", "\xF0\x9F\x98", u"\uFFFD"},
      {"largest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
  };
  for (const Case& c : cases) {
    const std::u16string text = Utf8ToUtf16(c.utf8);
    EXPECT_EQ(text, c.text) << c.label;
    EXPECT_TRUE(IsWellFormedUtf16(text)) << c.label;
    EXPECT_EQ(IsValidUtf8(c.utf8), text.find(u'\uFFFD') == std::u16string::npos) << c.label;
  }
}

}  // namespace
}  // namespace sealrun::platform::text
