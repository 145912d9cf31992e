#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/text/CodePage.h"
#include "support/Base64.h"
#include "support/CBase64Algo.h"

namespace sealrun::support {
namespace {

TEST(CBase64Algo, TextsInUtf8AndInTheAnsiCodePage) {
  const platform::text::CodePage saved = platform::text::AnsiCodePage();
  platform::text::SetAnsiCodePage(936);
  const CBase64Algo codec;
  struct Case {
    const char* label;
    std::u16string text;
    TextBytes textBytes;
    std::u16string symbols;
  };
  // Expected symbols: an independent Base64 of the UTF-8 and GBK bytes.
  const Case cases[] = {
      {"UTF-8", u"宋体", TextBytes::Utf8, u"5a6L5L2T"},
      {"GBK", u"宋体", TextBytes::Ansi, u"y87M5Q=="},
      {"UTF-8 mixed", u"电子印章 seal 2026", TextBytes::Utf8, u"55S15a2Q5Y2w56ugIHNlYWwgMjAyNg=="},
      {"GBK mixed", u"电子印章 seal 2026", TextBytes::Ansi, u"tefX09Oh1cIgc2VhbCAyMDI2"},
      {"empty", u"", TextBytes::Utf8, u""}};
  for (const auto& [label, text, textBytes, symbols] : cases) {
    EXPECT_EQ(codec.EncodeText(text, textBytes), symbols) << label;
    EXPECT_EQ(codec.DecodeText(symbols, textBytes), text) << label;
  }
  platform::text::SetAnsiCodePage(saved);
}

TEST(CBase64Algo, DecodeTextSkipsMimeLineBreaks) {
  const CBase64Algo codec;
  const std::u16string list = u"1,2,3\r\n" + std::u16string(80, u'x') + u"\r\n笔宽";
  std::u16string symbols = codec.EncodeText(list, TextBytes::Utf8);
  ASSERT_GT(symbols.size(), 76u);
  symbols.insert(76, u"\r\n");
  EXPECT_EQ(codec.DecodeText(symbols, TextBytes::Utf8), list);
}

TEST(CBase64Algo, BytesRoundTripLargeAndInvalidInput) {
  const CBase64Algo codec;
  std::mt19937 random(1321);
  std::vector<std::uint8_t> large(1 << 20);
  for (auto& byte : large) byte = static_cast<std::uint8_t>(random());
  const std::string symbols = codec.EncodeBytes(large);
  EXPECT_EQ(symbols, Base64Encode(large));
  EXPECT_EQ(codec.DecodeBytes(symbols), large);

  EXPECT_TRUE(codec.EncodeBytes({}).empty());
  EXPECT_TRUE(codec.DecodeBytes("").empty());
  const std::vector<std::uint8_t> foo{'f', 'o', 'o', 0};
  EXPECT_EQ(codec.DecodeBytes("Zm9v!@#$"), foo) << "invalid symbols are pads; the group still gives a first byte";
  EXPECT_EQ(codec.DecodeText(u"Zm9v\u4E2D\u6587", TextBytes::Utf8), std::u16string(u"foo\0", 4))
      << "non-ASCII units are pads";
}

}  // namespace
}  // namespace sealrun::support
