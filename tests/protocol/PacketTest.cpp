// TRAMEX packets: header columns, body lines, value encoding, and reading fields back by the substring rule.
#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text/CodePage.h"
#include "platform/text/Utf.h"
#include "protocol/Packet.h"
#include "protocol/PacketParse.h"
#include "protocol/StandardBase64.h"
#include "support/Alphabets.h"

namespace sealrun::protocol {
namespace {

namespace text = platform::text;

// An encoder written independently of the one under test: OpenSSL's standard Base64, each symbol then
// replaced by the SealInfoAlphabet symbol at the same position (the pad is "=" in both).
std::string ReferenceSealInfo(const std::string& bytes) {
  std::string standard(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(standard.data()),
                                     reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  standard.resize(static_cast<std::size_t>(length));
  for (char& symbol : standard) {
    if (symbol != '=') symbol = support::SealInfoAlphabet.Symbol(support::StandardAlphabet.Position(symbol));
  }
  return standard;
}

std::string Spaces(std::size_t n) { return std::string(n, ' '); }

class AnsiCodePage : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = text::AnsiCodePage();
    text::SetAnsiCodePage(text::kCpGbk);
  }
  void TearDown() override { text::SetAnsiCodePage(saved_); }
  text::CodePage saved_ = 0;
};

TEST(PacketHeader, ColumnsShiftWithTheDigitsOfTheBodyLength) {
  const std::string nine = FormatPacketHeader(9);
  EXPECT_EQ(nine, "TRAMEX V3.0" + Spaces(5) + "9" + Spaces(14) + "0" + Spaces(15) + "0" + Spaces(15));
  EXPECT_EQ(nine.size(), 63u);
  EXPECT_EQ(FormatPacketHeader(42).size(), 64u);
  EXPECT_EQ(FormatPacketHeader(1234), "TRAMEX V3.0" + Spaces(5) + "1234" + Spaces(14) + "0" + Spaces(15) + "0" + Spaces(15));
  EXPECT_EQ(FormatPacketHeader(1234).size(), 66u);
}

TEST_F(AnsiCodePage, PacketIsHeaderThenOneCrLfLinePerFieldInOrder) {
  const std::vector<PacketField> fields = {
      {u"TRAMEX", u"TRAMEX"}, {u"OPTION", u"SIGNCONTEXT"}, {u"KEYSN", u"ZQ-DEMO-0001"},
      {u"SIGNSN", u"演示公章-01"}, {u"CERTTEXT", u""}, {u"CN", u"0038" u"20261208001500"},
  };
  std::string body;
  for (const PacketField& field : fields) {
    body += text::FromUtf16(field.name, text::kCpUsAscii) + "=" +
            ReferenceSealInfo(text::FromUtf16(field.value, text::kCpGbk)) + "\r\n";
  }
  const std::string packet = BuildPacket(fields);
  EXPECT_EQ(packet, FormatPacketHeader(body.size()) + body);
  EXPECT_TRUE(packet.ends_with("CERTTEXT=\r\nCN=" + ReferenceSealInfo("003820261208001500") + "\r\n"));
  // Nothing else is added: no URL encoding, no line breaks inside long values.
  const std::string longValue(600, 'x');
  const PacketField one[] = {{u"CERTTEXT", text::Utf8ToUtf16(longValue)}};
  EXPECT_EQ(BuildPacket(one), FormatPacketHeader(8 + 1 + 800 + 2) + "CERTTEXT=" + ReferenceSealInfo(longValue) + "\r\n");
}

TEST_F(AnsiCodePage, FieldsReadBackFromBuiltPackets) {
  const std::vector<PacketField> fields = {
      {u"STATUS", u"OK"}, {u"SIGNRESULT", u"AAEC/+8="}, {u"CERTCONTEXT", u"MIIB"}, {u"NOTE", u"中文 text"}};
  const std::string packet = BuildPacket(fields);
  for (const PacketField& field : fields) EXPECT_EQ(ReadPacketField(packet, field.name), field.value) << "field " << text::Utf16ToUtf8(field.name);
  EXPECT_EQ(ReadPacketField(packet, u"ABSENT"), u"");
  ASSERT_TRUE(ParsePacket(packet).has_value());
  EXPECT_EQ(ParsePacket(packet)->size(), fields.size());
}

TEST(ReadPacketField, FollowsTheSubstringRule) {
  const std::string ok = ReferenceSealInfo("OK");
  const std::string no = ReferenceSealInfo("NO");
  // The first occurrence anywhere is taken, even inside another field's name.
  EXPECT_EQ(ReadPacketField("head XSTATUS=" + no + "\r\nSTATUS=" + ok + "\r\n", u"STATUS"), u"NO");
  // The last value runs to the end of the text without a CR LF.
  EXPECT_EQ(ReadPacketField("head STATUS=" + ok, u"STATUS"), u"OK");
  // A lone LF does not end a value; only CR LF does.
  EXPECT_EQ(ReadPacketField("head A=" + ok + "\r\nB=" + no, u"B"), u"NO");
  // Found at the very start: absent, as a packet starts with its header.
  EXPECT_EQ(ReadPacketField("STATUS=" + ok + "\r\n", u"STATUS"), u"");
  EXPECT_EQ(ReadPacketField("", u"STATUS"), u"");
  EXPECT_EQ(ReadPacketField("head STATUS", u"STATUS"), u"");
  EXPECT_EQ(ReadPacketField("head STATUS=", u"STATUS"), u"");
  EXPECT_EQ(ReadPacketField("<html>500 Internal Server Error</html>", u"STATUS"), u"");
}

TEST(ReadPacketField, OddValuesDoNotReadPastTheirBytes) {
  // An incomplete last group is dropped; symbols outside the alphabet count as value 0.
  EXPECT_EQ(ReadPacketField("h STATUS=" + ReferenceSealInfo("OK") + "xy", u"STATUS"), u"OK");
  EXPECT_EQ(ReadPacketField("h STATUS=\x01\x02\x03\r\n", u"STATUS"), u"");
  EXPECT_EQ(ReadPacketField(std::string("h STATUS=") + '\0' + "AAA", u"STATUS"), u"");
}

TEST(ParsePacket, RefusesAnythingButAWellFormedPacket) {
  const PacketField fields[] = {{u"TRAMEX", u"TRAMEX"}, {u"OPTION", u"SIGNCONTEXT"}};
  const std::string good = BuildPacket(fields);
  ASSERT_TRUE(ParsePacket(good).has_value());
  EXPECT_EQ(ParsePacket(good)->at(1).value, u"SIGNCONTEXT");

  EXPECT_FALSE(ParsePacket(good + "X")) << "body longer than its header says";
  EXPECT_FALSE(ParsePacket(good.substr(0, good.size() - 2))) << "last line without CR LF";
  EXPECT_FALSE(ParsePacket("TRAMEX V2.0" + good.substr(11))) << "other version";
  EXPECT_FALSE(ParsePacket("TRAMEX V3.0     0" + good.substr(16))) << "leading zero";
  EXPECT_FALSE(ParsePacket(""));
  EXPECT_FALSE(ParsePacket("TRAMEX V3.0     99999999999999999999              0               0               "));
  const auto single = [](const std::string& line) { return FormatPacketHeader(line.size()) + line; };
  EXPECT_TRUE(ParsePacket(single("A=\r\n")));
  EXPECT_FALSE(ParsePacket(single("=AAAA\r\n"))) << "no name";
  EXPECT_FALSE(ParsePacket(single("A B=AAAA\r\n"))) << "space in the name";
  EXPECT_FALSE(ParsePacket(single("A=AAA\r\n"))) << "incomplete group";
  EXPECT_FALSE(ParsePacket(single("A=AA*A\r\n"))) << "symbol outside the alphabet";
  EXPECT_FALSE(ParsePacket(single("A\r\n"))) << "no equals sign";
}

TEST(DecodeStandardBase64, AcceptsOnlyWellFormedText) {
  EXPECT_EQ(DecodeStandardBase64(u"TWFu"), (std::vector<std::uint8_t>{'M', 'a', 'n'}));
  EXPECT_EQ(DecodeStandardBase64(u"TWE="), (std::vector<std::uint8_t>{'M', 'a'}));
  EXPECT_EQ(DecodeStandardBase64(u"TQ=="), (std::vector<std::uint8_t>{'M'}));
  EXPECT_EQ(DecodeStandardBase64(u"TWFu\r\nTWFu"), (std::vector<std::uint8_t>{'M', 'a', 'n', 'M', 'a', 'n'}));
  EXPECT_FALSE(DecodeStandardBase64(u""));
  EXPECT_FALSE(DecodeStandardBase64(u"TWF"));
  EXPECT_FALSE(DecodeStandardBase64(u"TW=u"));
  EXPECT_FALSE(DecodeStandardBase64(u"T===")) << "three pads";
  EXPECT_FALSE(DecodeStandardBase64(u"TW u"));
  EXPECT_FALSE(DecodeStandardBase64(u"TWF\u00e9"));
  EXPECT_FALSE(DecodeStandardBase64(u"TW-_")) << "URL-safe symbols are another alphabet";
}

}  // namespace
}  // namespace sealrun::protocol
