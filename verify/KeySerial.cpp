#include "verify/KeySerial.h"

#include <algorithm>

#include "verify/SignatureInfoCodec.h"

namespace sealrun::verify {

namespace {

// The record's two spellings of its key-serial line, as ParseSignatureInfo names them.
constexpr std::u16string_view kAnnotationKeySerial = u"KeySerial";
constexpr std::u16string_view kFieldKeySerial = u"SignatureKeySN";

}  // namespace

std::vector<std::u16string> RecordKeySerials(std::u16string_view record) {
  std::vector<std::u16string> serials;
  for (auto& [key, value] : ParseSignatureInfo(record))
    if (key == kAnnotationKeySerial || key == kFieldKeySerial) serials.push_back(std::move(value));
  return serials;
}

bool RecordNamesKey(std::u16string_view record, std::u16string_view keySerial) {
  if (keySerial.empty()) return false;
  const std::vector<std::u16string> named = RecordKeySerials(record);
  return !named.empty() && std::all_of(named.begin(), named.end(), [&](const std::u16string& serial) {
    return serial == keySerial;
  });
}

std::vector<std::u16string> CertificateKeySerials(const platform::crypto::Certificate& certificate) {
  return certificate.NameAttributes(platform::crypto::NameOf::Subject, "serialNumber");
}

bool SerialContradictsSigner(std::u16string_view record, const platform::crypto::Certificate& signer) {
  const std::vector<std::u16string> carried = CertificateKeySerials(signer);
  if (carried.empty()) return false;
  const std::vector<std::u16string> named = RecordKeySerials(record);
  return std::any_of(named.begin(), named.end(), [&](const std::u16string& serial) {
    return std::find(carried.begin(), carried.end(), serial) == carried.end();
  });
}

}  // namespace sealrun::verify
