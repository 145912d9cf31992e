// The list forms exchanged with the handwriting component and the language prefixes it is given.
#include <gtest/gtest.h>

#include <string>

#include "platform/text/CodePage.h"
#include "platform/text/Utf.h"
#include "seal/HandwritingLists.h"
#include "support/Base64.h"

namespace sealrun::seal {
namespace {

std::u16string Symbols(std::string_view bytes) { return platform::text::Widen(support::Base64Encode(bytes)); }

TEST(HandwritingListsTest, StoredBreaksTravelAsCrLfInUtf8Base64AndComeBack) {
  EXPECT_EQ(EncodeHandwritingList(u"ABC___DEF"), Symbols("ABC\r\nDEF"));
  EXPECT_EQ(EncodeHandwritingList(u""), u"");
  EXPECT_EQ(DecodeHandwritingList(Symbols("ABC\r\nDEF"), ListBytes::Utf8), u"ABC___DEF");

  const std::u16string usual = u"同意___已阅___请尽快办理";
  EXPECT_EQ(EncodeHandwritingList(usual), Symbols(platform::text::Utf16ToUtf8(u"同意\r\n已阅\r\n请尽快办理")));
  EXPECT_EQ(DecodeHandwritingList(EncodeHandwritingList(usual), ListBytes::Utf8), usual);
  // The pen-width list is read in the ANSI code page, yet the UTF-8 the component echoes must not come back
  // mangled into the settings file.
  EXPECT_EQ(DecodeHandwritingList(EncodeHandwritingList(u"细___粗"), ListBytes::Ansi), u"细___粗");
  const std::string gbk = platform::text::FromUtf16(u"细\r\n粗", platform::text::kCpAcp);
  ASSERT_FALSE(platform::text::IsValidUtf8(gbk));
  EXPECT_EQ(DecodeHandwritingList(Symbols(gbk), ListBytes::Ansi), u"细___粗");
}

TEST(HandwritingListsTest, LongListsBreakIntoMimeLinesOf76Symbols) {
  // 57 bytes fill exactly one line: no break at all, in particular none after the last line.
  const std::u16string oneLine = EncodeHandwritingList(std::u16string(57, u'x'));
  EXPECT_EQ(oneLine.size(), 76u);
  EXPECT_EQ(oneLine.find(u'\r'), std::u16string::npos);

  const std::u16string list = u"0.5___1___1.5___2___2.5___3___3.5___4___4.5___5___6___7___8___9___10___12___15";
  const std::string utf8 = "0.5\r\n1\r\n1.5\r\n2\r\n2.5\r\n3\r\n3.5\r\n4\r\n4.5\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n12\r\n15";
  ASSERT_GT(utf8.size(), 57u);
  const std::u16string encoded = EncodeHandwritingList(list);
  const std::u16string plain = Symbols(utf8);
  EXPECT_EQ(encoded, plain.substr(0, 76) + u"\r\n" + plain.substr(76));
  EXPECT_EQ(DecodeHandwritingList(encoded, ListBytes::Utf8), list);

  const std::u16string twoLines = EncodeHandwritingList(std::u16string(114, u'y'));
  EXPECT_EQ(twoLines.size(), 76u + 2u + 76u);
  EXPECT_EQ(twoLines.substr(76, 2), u"\r\n");
  EXPECT_NE(twoLines.back(), u'\n');
}

TEST(HandwritingListsTest, AnswersThatAreNotBase64DoNotBreakTheDecoder) {
  for (const std::u16string answer : {u"", u"=", u"!!!!", u"中文", u"QUJD\r\n\r\nRA", u"Q"})
    EXPECT_NO_THROW(DecodeHandwritingList(answer, ListBytes::Utf8));
}

TEST(HandwritingListsTest, LanguagePrefixes) {
  EXPECT_EQ(HandwritingLanguagePrefix(2052), u"GBC_");
  EXPECT_EQ(HandwritingLanguagePrefix(1028), u"GBB_");
  EXPECT_EQ(HandwritingLanguagePrefix(3076), u"GBB_");
  EXPECT_EQ(HandwritingLanguagePrefix(1033), u"ENG_");
  EXPECT_EQ(HandwritingLanguagePrefix(1041), u"");
  EXPECT_EQ(HandwritingLanguagePrefix(0), u"");
}

}  // namespace
}  // namespace sealrun::seal
