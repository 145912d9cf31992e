#pragma once
// The information record stored with every seal: who stamped it, with which key and seal, from which
// computer and when. CR LF separated key=value lines, stored in one of two encodings.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/SignatureMode.h"
#include "verify/SignatureInfoCodec.h"

namespace sealrun::signing {

// The record's encodings and its reading live with verification, which sits below signing.
using verify::DecodeSignatureInfo;
using verify::FindSignatureInfoValue;
using verify::ParseSignatureInfo;
using verify::RecordForm;
using verify::SignatureInfoFields;

// The selected seal as its catalogue record describes it.
struct SealRecordFields {
  std::u16string signName;
  std::u16string unitName;
  std::u16string userName;
  std::u16string serialNumber;
};

struct SignatureInfoInput {
  int sealIndex = -1;      // the stamping operations always pass -1
  int signatureType = 1;   // 1 seal image, 5 handwritten signature
  std::u16string fingerprint;
  RecordForm form = RecordForm::SealOnly;
  // The record of the seal list's current text; nullopt when the text names no record.
  std::optional<SealRecordFields> seal;
  std::u16string keySerial;
  std::u16string ipAddress;  // dotted IPv4, empty when the host name did not resolve
  std::chrono::system_clock::time_point createTime;
  config::SignatureMode signatureMode;  // exactly "0" adds the protection lines
};

enum class SignatureInfoError { None, UnknownSeal };

struct SignatureInfo {
  SignatureInfoError error = SignatureInfoError::None;
  std::u16string text;  // the record
  std::string encoded;  // the record in the encoding of its form
};

// Builds the record and its encoded form. A seal that names no record builds nothing (error UnknownSeal):
// the caller counts the file as failed.
SignatureInfo BuildSignatureInfo(const SignatureInfoInput& input);

// "%Y-%m-%d %X" of the local time, as the "CreateTime=" line writes it.
std::u16string FormatCreateTime(std::chrono::system_clock::time_point time);

std::string EncodeSignatureInfo(std::u16string_view text, RecordForm form);

}  // namespace sealrun::signing
