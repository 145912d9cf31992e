// Texts from files and records on their way to the terminal and to JSON readers: nothing that could steer
// the terminal or fake a line gets through as it is, everything else is printed unchanged.
#include <gtest/gtest.h>

#include <string>

#include "apps/sealrun/TerminalText.h"

namespace sealrun::apps {
namespace {

TEST(TerminalText, PlainAndChineseTextIsPrintedAsItIs) {
  for (const std::string text : {"contract 2024.pdf", "KeyName=演示公章", "€ 𝄞 ok", ""}) {
    EXPECT_EQ(TerminalSafe(text), text);
    EXPECT_EQ(JsonString(text), "\"" + text + "\"");
  }
  EXPECT_EQ(TerminalSafe("C:\\seals\\a.pdf"), "C:\\seals\\a.pdf") << "a backslash steers nothing";
  EXPECT_EQ(TerminalSafeLines(u"签章验证结束\r\n共有文档：3份\r\n"), u"签章验证结束\r\n共有文档：3份\r\n");
}

TEST(TerminalText, EveryCharacterThatSteersTheTerminalIsShownAsAnEscape) {
  const struct {
    std::string raw;
    std::string terminal;
    std::string json;
  } cases[] = {
      {"\x1b[2K\x1b[1Avalid", "\\x1b[2K\\x1b[1Avalid", "\\u001b[2K\\u001b[1Avalid"},  // erase line, cursor up
      {"a\rb\nc\td", "a\\x0db\\x0ac\\x09d", "a\\u000db\\u000ac\\u0009d"},
      {std::string("nul\0!", 5), "nul\\x00!", "nul\\u0000!"},
      {"del\x7f", "del\\x7f", "del\\u007f"},
      {"\xc2\x9b" "31m", "\\u009b31m", "\\u009b31m"},                                   // C1 CSI
      {"\xc2\x85next", "\\u0085next", "\\u0085next"},                                   // C1 NEL
      {"fdp.\xe2\x80\xae" "exe", "fdp.\\u202eexe", "fdp.\\u202eexe"},                       // right-to-left override
      {"\xe2\x81\xa6x\xe2\x81\xa9", "\\u2066x\\u2069", "\\u2066x\\u2069"},                 // isolates
      {"\xe2\x80\x8f\xd8\x9c", "\\u200f\\u061c", "\\u200f\\u061c"},                       // marks
      {"line\xe2\x80\xa8sep", "line\\u2028sep", "line\\u2028sep"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TerminalSafe(c.raw), c.terminal) << c.terminal;
    EXPECT_EQ(JsonString(c.raw), "\"" + c.json + "\"") << c.json;
  }
  EXPECT_EQ(JsonString("say \"hi\" \\ bye"), "\"say \\\"hi\\\" \\\\ bye\"");
}

TEST(TerminalText, BytesThatAreNotUtf8AreEscapedAndJsonStaysUtf8) {
  const struct {
    std::string raw;
    std::string terminal;
    std::string json;
  } cases[] = {
      {"\x9b" "31m", "\\x9b31m", "\\ufffd31m"},                 // a lone C1 byte, as an 8-bit terminal reads it
      {"\xff\xfe", "\\xff\\xfe", "\\ufffd\\ufffd"},
      {"\xc0\x9b", "\\xc0\\x9b", "\\ufffd\\ufffd"},            // overlong form of ESC's C1 cousin
      {"\xed\xa0\x80", "\\xed\\xa0\\x80", "\\ufffd\\ufffd\\ufffd"},  // a surrogate
      {"cut \xe6\xbc", "cut \\xe6\\xbc", "cut \\ufffd\\ufffd"},  // a truncated character at the end
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TerminalSafe(c.raw), c.terminal) << c.terminal;
    EXPECT_EQ(JsonString(c.raw), "\"" + c.json + "\"") << c.json;
  }
}

TEST(TerminalText, MessagesKeepTheirLinesButNoLoneCarriageReturnOrEscape) {
  EXPECT_EQ(TerminalSafeLines(u"日志文件无法写入：/tmp/\x1b]0;owned\x07log.txt\r\nnext\n"),
            u"日志文件无法写入：/tmp/\\x1b]0;owned\\x07log.txt\r\nnext\n");
  EXPECT_EQ(TerminalSafeLines(u"done\rINVALID"), u"done\\x0dINVALID");
  EXPECT_EQ(TerminalSafe(std::u16string(u"name\u202e\u0085")), "name\\u202e\\u0085");
}

}  // namespace
}  // namespace sealrun::apps
