// The information record stored with every seal, its two encodings and the decoder verification uses.
#include <gtest/gtest.h>

#include <ctime>

#include "platform/text/CodePage.h"
#include "signing/SignatureInfo.h"
#include "support/Base64.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::signing {
namespace {

class SignatureInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tzset();
    platform::text::SetAnsiCodePage(platform::text::kCpGbk);
  }
  void TearDown() override { tzset(); }

  static SignatureInfoInput Input(std::u16string mode, RecordForm form) {
    SignatureInfoInput input;
    input.sealIndex = -1;
    input.signatureType = 1;
    input.fingerprint = u"PNxaIeCt8UxIOoix1D06/AByD2fT";
    input.form = form;
    input.seal = SealRecordFields{u"公章", u"测试单位", u"张三", u"SN-0042"};
    input.keySerial = u"KEY-7";
    input.ipAddress = u"192.168.1.20";
    // 2024-03-05 14:07:09 UTC
    input.createTime = std::chrono::system_clock::from_time_t(1709647629);
    input.signatureMode = config::SignatureMode(mode);
    return input;
  }

  sealrun::testing::ScopedEnv utc_{"TZ", "UTC"};
};

TEST_F(SignatureInfoTest, SealOnlyRecordLineByLine) {
  const SignatureInfo info = BuildSignatureInfo(Input(u"1", RecordForm::SealOnly));
  ASSERT_EQ(info.error, SignatureInfoError::None);
  EXPECT_EQ(info.text,
            u"sealIndex=-1\r\nSignatureIP=192.168.1.20\r\nKeyName=公章\r\nCompName=测试单位\r\nUserName=张三\r\n"
            u"KeySerial=KEY-7\r\nSealSerial=SN-0042\r\nSignatureType=1\r\nAppName=SignavoxBatchPDF\r\n"
            u"CreateTime=2024-03-05 14:07:09\r\n");
  // SealInfoAlphabet over the UTF-16LE code units.
  const std::vector<std::uint8_t> bytes = support::SealInfoDecode(info.encoded);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), std::string("s\0e\0", 4));
  EXPECT_EQ(DecodeSignatureInfo(info.encoded, RecordForm::SealOnly), info.text);
}

TEST_F(SignatureInfoTest, ProtectionLinesOnlyForModeZero) {
  const auto lines = [](const SignatureInfo& info) { return ParseSignatureInfo(info.text); };
  const SignatureInfoFields zero = lines(BuildSignatureInfo(Input(u"0", RecordForm::SealOnly)));
  ASSERT_EQ(zero.size(), 13u);
  EXPECT_EQ(zero[10], (std::pair<std::u16string, std::u16string>{u"bProtectDoc", u"1"}));
  EXPECT_EQ(zero[11], (std::pair<std::u16string, std::u16string>{u"bEffect", u"1"}));
  EXPECT_EQ(zero.back(), (std::pair<std::u16string, std::u16string>{u"strMd5", u"PNxaIeCt8UxIOoix1D06/AByD2fT"}));
  for (const char16_t* mode : {u"1", u"2", u""}) {
    const SignatureInfo info = BuildSignatureInfo(Input(mode, RecordForm::SealOnly));
    const SignatureInfoFields fields = lines(info);
    EXPECT_EQ(fields.size(), 10u);
    EXPECT_TRUE(info.text.ends_with(u"CreateTime=2024-03-05 14:07:09\r\n"));
    EXPECT_FALSE(FindSignatureInfoValue(fields, u"strMd5").has_value());
  }
}

TEST_F(SignatureInfoTest, SignatureFieldFormUsesKeySnLineAndAnsiBase64) {
  const SignatureInfo info = BuildSignatureInfo(Input(u"0", RecordForm::SignatureField));
  ASSERT_EQ(info.error, SignatureInfoError::None);
  EXPECT_NE(info.text.find(u"\r\nSignatureKeySN:KEY-7;\r\nSealSerial="), std::u16string::npos);
  EXPECT_EQ(info.text.find(u"KeySerial="), std::u16string::npos);
  // Standard Base64 of the GBK bytes: 公章 is B9 AB D5 C2 there.
  const std::vector<std::uint8_t> bytes = support::DecodeWithAlphabet(info.encoded, support::StandardAlphabet);
  const std::string ansi(bytes.begin(), bytes.end());
  EXPECT_NE(ansi.find("KeyName=\xB9\xAB\xD5\xC2\r\n"), std::string::npos);
  EXPECT_EQ(info.encoded.size() % 4, 0u);

  const std::u16string decoded = DecodeSignatureInfo(info.encoded, RecordForm::SignatureField);
  EXPECT_EQ(decoded, info.text);
  const SignatureInfoFields fields = ParseSignatureInfo(decoded);
  EXPECT_EQ(FindSignatureInfoValue(fields, u"SignatureKeySN"), u"KEY-7");
  EXPECT_EQ(FindSignatureInfoValue(fields, u"KeyName"), u"公章");
  EXPECT_EQ(FindSignatureInfoValue(fields, u"strMd5"), u"PNxaIeCt8UxIOoix1D06/AByD2fT");
}

TEST_F(SignatureInfoTest, SealOnlyRoundTripsWhateverThePadding) {
  // Records of 3k, 3k+1 and 3k+2 bytes: pads read back as zero bytes and must not reach the text.
  for (const char16_t* ip : {u"", u"1", u"10.0.0.1", u"10.0.0.12", u"10.0.0.123"}) {
    SignatureInfoInput input = Input(u"1", RecordForm::SealOnly);
    input.ipAddress = ip;
    const SignatureInfo info = BuildSignatureInfo(input);
    EXPECT_EQ(DecodeSignatureInfo(info.encoded, RecordForm::SealOnly), info.text) << info.encoded;
    EXPECT_EQ(FindSignatureInfoValue(ParseSignatureInfo(info.text), u"SignatureIP"), std::u16string(ip));
  }
}

TEST_F(SignatureInfoTest, UnknownSealBuildsNothing) {
  SignatureInfoInput input = Input(u"0", RecordForm::SealOnly);
  input.seal.reset();
  const SignatureInfo info = BuildSignatureInfo(input);
  EXPECT_EQ(info.error, SignatureInfoError::UnknownSeal);
  EXPECT_TRUE(info.text.empty());
  EXPECT_TRUE(info.encoded.empty());
}

TEST_F(SignatureInfoTest, CreateTimeIsLocalTime) {
  sealrun::testing::ScopedEnv shanghai("TZ", "Asia/Shanghai");
  tzset();
  EXPECT_EQ(FormatCreateTime(std::chrono::system_clock::from_time_t(1709647629)), u"2024-03-05 22:07:09");
}

}  // namespace
}  // namespace sealrun::signing
