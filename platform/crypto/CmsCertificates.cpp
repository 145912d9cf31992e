#include "platform/crypto/CmsCertificates.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <cstdint>

namespace sealrun::platform::crypto {
namespace {

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kSet = 0x31;
constexpr std::uint8_t kObjectIdentifier = 0x06;
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kExplicitZero = 0xA0;  // ContentInfo's content; SignedData's certificates
// The object identifier 1.2.840.113549.1.7.2, signedData.
constexpr std::uint8_t kSignedDataOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};

// One element with a low tag number and a definite length.
struct Element {
  std::uint8_t tag = 0;
  std::size_t header = 0;
  std::size_t length = 0;
  std::size_t Size() const { return header + length; }
};

std::optional<Element> ReadElement(ByteView bytes) {
  if (bytes.size() < 2 || (bytes[0] & 0x1F) == 0x1F) return std::nullopt;
  Element element;
  element.tag = bytes[0];
  const std::uint8_t first = bytes[1];
  element.header = 2;
  if (first < 0x80) {
    element.length = first;
  } else {
    const std::size_t count = first & 0x7F;
    if (count == 0 || count > 4 || bytes.size() < 2 + count) return std::nullopt;  // indefinite, or absurd
    for (std::size_t i = 0; i < count; ++i) element.length = (element.length << 8) | bytes[2 + i];
    element.header += count;
  }
  if (element.length > bytes.size() - element.header) return std::nullopt;
  return element;
}

void AppendHeader(Bytes& out, std::uint8_t tag, std::size_t length) {
  out.push_back(tag);
  if (length < 0x80) {
    out.push_back(static_cast<std::uint8_t>(length));
    return;
  }
  std::uint8_t digits[sizeof(std::size_t)];
  std::size_t count = 0;
  for (std::size_t rest = length; rest != 0; rest >>= 8) digits[count++] = static_cast<std::uint8_t>(rest & 0xFF);
  out.push_back(static_cast<std::uint8_t>(0x80 | count));
  while (count > 0) out.push_back(digits[--count]);
}

std::size_t HeaderSize(std::size_t length) {
  if (length < 0x80) return 2;
  std::size_t size = 2;
  for (std::size_t rest = length; rest != 0; rest >>= 8) ++size;
  return size;
}

}  // namespace

std::optional<SeparatedCertificates> SeparateCertificates(ByteView der) {
  const auto contentInfo = ReadElement(der);
  if (!contentInfo || contentInfo->tag != kSequence || contentInfo->Size() != der.size()) return std::nullopt;
  ByteView rest = der.subspan(contentInfo->header, contentInfo->length);
  const auto type = ReadElement(rest);
  if (!type || type->tag != kObjectIdentifier || type->length != sizeof kSignedDataOid) return std::nullopt;
  if (!std::equal(std::begin(kSignedDataOid), std::end(kSignedDataOid), rest.begin() + type->header)) return std::nullopt;
  const ByteView typeBytes = rest.first(type->Size());
  rest = rest.subspan(type->Size());
  const auto wrapper = ReadElement(rest);
  if (!wrapper || wrapper->tag != kExplicitZero || wrapper->Size() != rest.size()) return std::nullopt;
  rest = rest.subspan(wrapper->header);
  const auto signedData = ReadElement(rest);
  if (!signedData || signedData->tag != kSequence || signedData->Size() != rest.size()) return std::nullopt;
  ByteView fields = rest.subspan(signedData->header);

  // version, digestAlgorithms, encapContentInfo, then the certificates.
  std::size_t before = 0;
  for (const std::uint8_t expected : {kInteger, kSet, kSequence}) {
    const auto field = ReadElement(fields.subspan(before));
    if (!field || field->tag != expected) return std::nullopt;
    before += field->Size();
  }
  const auto certificates = ReadElement(fields.subspan(before));
  if (!certificates || certificates->tag != kExplicitZero) return std::nullopt;

  SeparatedCertificates separated;
  ByteView set = fields.subspan(before + certificates->header, certificates->length);
  while (!set.empty()) {
    const auto certificate = ReadElement(set);
    // Other certificate choices (attribute certificates and the like) are left to OpenSSL.
    if (!certificate || certificate->tag != kSequence) return std::nullopt;
    separated.certificates.push_back(set.first(certificate->Size()));
    set = set.subspan(certificate->Size());
  }

  const ByteView head = fields.first(before);
  const ByteView tail = fields.subspan(before + certificates->Size());
  const std::size_t signedDataLength = head.size() + tail.size();
  const std::size_t wrapperLength = HeaderSize(signedDataLength) + signedDataLength;
  const std::size_t contentInfoLength = typeBytes.size() + HeaderSize(wrapperLength) + wrapperLength;
  Bytes& out = separated.signedData;
  out.reserve(HeaderSize(contentInfoLength) + contentInfoLength);
  AppendHeader(out, kSequence, contentInfoLength);
  out.insert(out.end(), typeBytes.begin(), typeBytes.end());
  AppendHeader(out, kExplicitZero, wrapperLength);
  AppendHeader(out, kSequence, signedDataLength);
  out.insert(out.end(), head.begin(), head.end());
  out.insert(out.end(), tail.begin(), tail.end());
  return separated;
}

}  // namespace sealrun::platform::crypto
