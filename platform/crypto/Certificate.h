#pragma once
// A certificate context: one parsed X.509 certificate, immutable and cheap to copy (copies share the
// parsed certificate, as duplicated certificate contexts do).
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto/Bytes.h"
#include "platform/crypto/Result.h"

namespace sealrun::platform::crypto {

// Which of the certificate's two names.
enum class NameOf { Subject, Issuer };

enum class NameStyle {
  // The first of common name, organizational unit, organization, e-mail attribute; else the first
  // e-mail of the alternative name; else the first attribute of the name. The name a user sees.
  SimpleDisplay,
  // The first e-mail of the alternative name; else the e-mail attribute of the name; else empty.
  Email,
  // Every attribute, most specific first, "CN=Name, O=Org, C=CN" (RFC 2253 order and escaping,
  // with ", " between attributes; non-ASCII characters are kept, not escaped).
  Full,
};

enum class KeyAlgorithm { Rsa, Ec, Other };

class Certificate {
 public:
  // From DER bytes. Trailing bytes after the certificate are refused.
  static Result<Certificate> FromDer(ByteView der);
  // From PEM text: the first armoured block labelled "CERTIFICATE" (or the older
  // "X509 CERTIFICATE"). Text without an armour line is refused, even when it is valid Base64.
  static Result<Certificate> FromPem(std::string_view pem);
  // PEM when the bytes carry an armour line, DER otherwise.
  static Result<Certificate> FromBytes(ByteView bytes);

  Bytes Der() const;
  std::string Pem() const;

  // Names as UTF-16 text; an absent attribute gives empty text.
  std::u16string Name(NameOf which, NameStyle style) const;
  std::u16string SubjectName(NameStyle style = NameStyle::SimpleDisplay) const {
    return Name(NameOf::Subject, style);
  }
  std::u16string IssuerName(NameStyle style = NameStyle::SimpleDisplay) const {
    return Name(NameOf::Issuer, style);
  }
  // One attribute of a name by its short name or dotted OID ("CN", "O", "2.5.4.3"); the first one
  // when the name has several. Empty when absent.
  std::u16string NameAttribute(NameOf which, std::string_view attribute) const;
  // Every value of that attribute, in the order of the name (a name may repeat an attribute).
  std::vector<std::u16string> NameAttributes(NameOf which, std::string_view attribute) const;
  // The name exactly as encoded in the certificate (DER of the Name), as CMS issuerAndSerialNumber
  // needs it.
  Bytes NameDer(NameOf which) const;

  // Serial number: big-endian bytes of the positive integer, without sign padding ("01 00" for 256);
  // as text, upper-case hex of those bytes ("0100").
  Bytes SerialNumber() const;
  std::string SerialNumberHex() const;

  std::time_t NotBefore() const;
  std::time_t NotAfter() const;
  // -1 before the validity period, 0 inside it, 1 after it.
  int CompareValidity(std::time_t when) const;

  // SHA-1 over the DER bytes, as the certificate store's thumbprint.
  Bytes Sha1Thumbprint() const;

  KeyAlgorithm PublicKeyAlgorithm() const;
  // Dotted OID of the public key algorithm ("1.2.840.113549.1.1.1" for RSA).
  std::string PublicKeyAlgorithmOid() const;
  // Size of the public key in bits (2048 for RSA 2048).
  int PublicKeyBits() const;
  // DER of the SubjectPublicKeyInfo; equal for two certificates over the same key.
  Bytes PublicKeyDer() const;

  bool IsSelfIssued() const;

  // Same DER bytes.
  bool operator==(const Certificate& other) const;

  class Impl;
  const Impl& GetImpl() const { return *impl_; }
  explicit Certificate(std::shared_ptr<const Impl> impl);

 private:
  std::shared_ptr<const Impl> impl_;
};

}  // namespace sealrun::platform::crypto
