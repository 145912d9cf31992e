#include "signing/SignatureInfo.h"

#include <cstdint>
#include <ctime>

#include "platform/text/CodePage.h"
#include "support/Alphabets.h"
#include "support/Base64.h"

namespace sealrun::signing {
namespace {

std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }

void AppendLine(std::u16string& record, std::u16string_view key, std::u16string_view value) {
  record += key;
  record += value;
  record += u"\r\n";
}

}  // namespace

std::u16string FormatCreateTime(std::chrono::system_clock::time_point time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return {};
  // The record's field is 20 bytes; a time that does not fit (a five-digit year) is left empty.
  char text[20] = {};
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %X", &local);
  return Ascii(std::string_view(text, length));
}

std::string EncodeSignatureInfo(std::u16string_view text, RecordForm form) {
  if (form == RecordForm::SealOnly) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t unit : text) {
      bytes.push_back(static_cast<char>(unit & 0xFF));
      bytes.push_back(static_cast<char>(unit >> 8));
    }
    return support::SealInfoEncode(bytes);
  }
  return support::Base64Encode(platform::text::FromUtf16(text, platform::text::kCpAcp));
}

SignatureInfo BuildSignatureInfo(const SignatureInfoInput& input) {
  SignatureInfo info;
  if (!input.seal) {
    info.error = SignatureInfoError::UnknownSeal;
    return info;
  }
  const SealRecordFields& seal = *input.seal;
  std::u16string& record = info.text;
  AppendLine(record, u"sealIndex=", Ascii(std::to_string(input.sealIndex)));
  AppendLine(record, u"SignatureIP=", input.ipAddress);
  AppendLine(record, u"KeyName=", seal.signName);
  AppendLine(record, u"CompName=", seal.unitName);
  AppendLine(record, u"UserName=", seal.userName);
  if (input.form == RecordForm::SealOnly) {
    AppendLine(record, u"KeySerial=", input.keySerial);
  } else {
    record += u"SignatureKeySN:";
    record += input.keySerial;
    record += u";\r\n";
  }
  AppendLine(record, u"SealSerial=", seal.serialNumber);
  AppendLine(record, u"SignatureType=", Ascii(std::to_string(input.signatureType)));
  AppendLine(record, u"AppName=SignavoxBatchPDF", {});
  AppendLine(record, u"CreateTime=", FormatCreateTime(input.createTime));
  if (input.signatureMode.ProtectsRecords()) {
    AppendLine(record, u"bProtectDoc=1", {});
    AppendLine(record, u"bEffect=1", {});
    AppendLine(record, u"strMd5=", input.fingerprint);
  }
  info.encoded = EncodeSignatureInfo(record, input.form);
  return info;
}

}  // namespace sealrun::signing
