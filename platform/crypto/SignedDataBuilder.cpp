#include "platform/crypto/SignedDataBuilder.h"

#include <initializer_list>

#include "platform/crypto/Cms.h"
#include "platform/crypto/OpenSslHandles.h"

namespace sealrun::platform::crypto {
namespace {

// Encoded object identifiers (tag, length, value).
const Bytes kOidSignedData = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
const Bytes kOidData = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
const Bytes kOidContentType = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03};
const Bytes kOidMessageDigest = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04};
const Bytes kOidTimeStampToken = {0x06, 0x0B, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D,
                                  0x01, 0x09, 0x10, 0x02, 0x0E};
const Bytes kOidSha1 = {0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A};
const Bytes kOidSha256 = {0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
const Bytes kNull = {0x05, 0x00};

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kSet = 0x31;
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kOctetString = 0x04;
constexpr std::uint8_t kContext0 = 0xA0;
constexpr std::uint8_t kContext1 = 0xA1;

Bytes Concat(std::initializer_list<ByteView> parts) {
  Bytes out;
  for (const ByteView part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Tlv(std::uint8_t tag, ByteView content) {
  Bytes out{tag};
  const std::size_t length = content.size();
  if (length < 0x80) {
    out.push_back(static_cast<std::uint8_t>(length));
  } else {
    Bytes digits;
    for (std::size_t rest = length; rest != 0; rest >>= 8) digits.insert(digits.begin(), static_cast<std::uint8_t>(rest));
    out.push_back(static_cast<std::uint8_t>(0x80 | digits.size()));
    out.insert(out.end(), digits.begin(), digits.end());
  }
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

Bytes Tlv(std::uint8_t tag, std::initializer_list<ByteView> parts) { return Tlv(tag, Concat(parts)); }

const Bytes& DigestOid(DigestAlgorithm digest) { return digest == DigestAlgorithm::Sha1 ? kOidSha1 : kOidSha256; }

// The certificate's serial INTEGER exactly as the certificate encodes it, so issuerAndSerialNumber
// matches the certificate byte for byte.
Bytes SerialDer(const Certificate& certificate) {
  unsigned char* der = nullptr;
  const int length = i2d_ASN1_INTEGER(X509_get0_serialNumber(certificate.GetImpl().x509.get()), &der);
  if (length <= 0) return {};
  Bytes bytes(der, der + length);
  OPENSSL_free(der);
  return bytes;
}

Bytes PublicKeyAlgorithmDer(const Certificate& certificate) {
  const X509_PUBKEY* publicKey = X509_get_X509_PUBKEY(certificate.GetImpl().x509.get());
  ASN1_OBJECT* algorithm = nullptr;
  if (publicKey == nullptr || X509_PUBKEY_get0_param(&algorithm, nullptr, nullptr, nullptr, publicKey) != 1) return {};
  unsigned char* der = nullptr;
  const int length = i2d_ASN1_OBJECT(algorithm, &der);
  if (length <= 0) return {};
  Bytes bytes(der, der + length);
  OPENSSL_free(der);
  return bytes;
}

}  // namespace

Bytes BuildSignedAttributes(ByteView digest) {
  // DER orders a SET OF by encoding; content type (shorter) sorts before message digest.
  const Bytes contentType = Tlv(kSequence, {kOidContentType, Tlv(kSet, kOidData)});
  const Bytes messageDigest = Tlv(kSequence, {kOidMessageDigest, Tlv(kSet, Tlv(kOctetString, digest))});
  return Tlv(kSet, {contentType, messageDigest});
}

Result<Bytes> BuildSignedData(const SignedDataParts& parts) {
  const Bytes& attributes = parts.signedAttributes;
  if (attributes.empty() || attributes[0] != kSet || DerElementLength(attributes) != attributes.size()) {
    return Error{ErrorCode::InvalidInput, "the signed attributes are not one DER SET"};
  }
  if (parts.signature.empty()) return Error{ErrorCode::InvalidInput, "empty signature"};
  const Bytes serial = SerialDer(parts.certificate);
  const Bytes keyAlgorithm = PublicKeyAlgorithmDer(parts.certificate);
  if (serial.empty() || keyAlgorithm.empty()) {
    ERR_clear_error();
    return Error{ErrorCode::InvalidInput, "the certificate's serial or key algorithm cannot be encoded"};
  }

  const Bytes version = {kInteger, 0x01, 0x01};
  const Bytes digestAlgorithm = Tlv(kSequence, {DigestOid(parts.digest), kNull});
  // [0] IMPLICIT: the SET's own content under the context tag.
  Bytes authenticated = attributes;
  authenticated[0] = kContext0;

  Bytes signerInfo = Concat({version,
                             Tlv(kSequence, {parts.certificate.NameDer(NameOf::Issuer), serial}),
                             digestAlgorithm,
                             authenticated,
                             Tlv(kSequence, {keyAlgorithm, kNull}),
                             Tlv(kOctetString, parts.signature)});
  if (!parts.timeStampToken.empty()) {
    const Bytes attribute = Tlv(kSequence, {kOidTimeStampToken, Tlv(kSet, parts.timeStampToken)});
    signerInfo = Concat({signerInfo, Tlv(kContext1, attribute)});
  }

  const Bytes signedData = Tlv(kSequence, {version,
                                           Tlv(kSet, digestAlgorithm),
                                           Tlv(kSequence, kOidData),
                                           Tlv(kContext0, parts.certificate.GetImpl().der),
                                           Tlv(kSet, Tlv(kSequence, signerInfo))});
  return Tlv(kSequence, {kOidSignedData, Tlv(kContext0, signedData)});
}

}  // namespace sealrun::platform::crypto
