#include "platform/crypto/Certificate.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/crypto/Digest.h"
#include "platform/crypto/OpenSslHandles.h"
#include "platform/crypto/PemArmour.h"
#include "platform/text/Utf.h"

namespace sealrun::platform::crypto {
namespace {

using text::Utf8ToUtf16;

std::string EntryText(const X509_NAME_ENTRY* entry) {
  unsigned char* utf8 = nullptr;
  const int length = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(entry));
  if (length < 0) return {};
  std::string text(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(length));
  OPENSSL_free(utf8);
  return text;
}

std::string FirstAttribute(const X509_NAME* name, int nid) {
  const int index = X509_NAME_get_index_by_NID(name, nid, -1);
  if (index < 0) return {};
  return EntryText(X509_NAME_get_entry(name, index));
}

// The first rfc822Name of the subject's (or issuer's) alternative name extension.
std::string AlternativeEmail(const X509* x509, NameOf which) {
  const int nid = which == NameOf::Subject ? NID_subject_alt_name : NID_issuer_alt_name;
  GeneralNamesPtr names(static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(x509, nid, nullptr, nullptr)));
  if (!names) return {};
  for (int i = 0; i < sk_GENERAL_NAME_num(names.get()); ++i) {
    const GENERAL_NAME* name = sk_GENERAL_NAME_value(names.get(), i);
    if (name->type == GEN_EMAIL) {
      const ASN1_IA5STRING* email = name->d.rfc822Name;
      return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(email)),
                         static_cast<std::size_t>(ASN1_STRING_length(email)));
    }
  }
  return {};
}

std::string FullName(const X509_NAME* name) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio) return {};
  // RFC 2253 order and escaping, ", " separators, UTF-8 kept as it is rather than escaped.
  const unsigned long flags =
      ((XN_FLAG_RFC2253 & ~XN_FLAG_SEP_MASK & ~ASN1_STRFLGS_ESC_MSB) | XN_FLAG_SEP_CPLUS_SPC);
  if (X509_NAME_print_ex(bio.get(), name, 0, flags) < 0) return {};
  const Bytes bytes = BioBytes(bio.get());
  return std::string(AsChars(bytes));
}

std::time_t ToTimeT(const ASN1_TIME* time) {
  struct tm parts {};
  if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) return 0;
  return timegm(&parts);
}

const X509_NAME* NameOfCertificate(const X509* x509, NameOf which) {
  return which == NameOf::Subject ? X509_get_subject_name(x509) : X509_get_issuer_name(x509);
}

Bytes BignumBytes(const BIGNUM* number) {
  Bytes bytes(static_cast<std::size_t>(BN_num_bytes(number)));
  BN_bn2bin(number, bytes.data());
  if (bytes.empty()) bytes.push_back(0);
  return bytes;
}

}  // namespace

Certificate::Certificate(std::shared_ptr<const Impl> impl) : impl_(std::move(impl)) {}

namespace {

// Certificates parsed lately, by their DER bytes. A batch meets the same signer and issuer certificates in
// every file, and parsing one (its public key above all) costs more than checking a signature with it; a
// certificate is immutable, so the parsed one is shared.
class ParsedCertificates {
 public:
  std::shared_ptr<const Certificate::Impl> Find(ByteView der) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& kept : kept_)
      if (kept->der.size() == der.size() && std::equal(der.begin(), der.end(), kept->der.begin())) return kept;
    return nullptr;
  }
  void Keep(std::shared_ptr<const Certificate::Impl> parsed) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (kept_.size() == kKept) kept_.pop_front();
    kept_.push_back(std::move(parsed));
  }

 private:
  static constexpr std::size_t kKept = 16;
  std::mutex mutex_;
  std::deque<std::shared_ptr<const Certificate::Impl>> kept_;
};

ParsedCertificates& LatelyParsed() {
  static ParsedCertificates parsed;
  return parsed;
}

}  // namespace

Result<Certificate> Certificate::FromDer(ByteView der) {
  if (der.empty()) return Error{ErrorCode::InvalidInput, "empty certificate"};
  if (der.size() > static_cast<std::size_t>(LONG_MAX)) return Error{ErrorCode::InvalidInput, "certificate too large"};
  if (auto parsed = LatelyParsed().Find(der)) return Certificate(std::move(parsed));
  const unsigned char* cursor = der.data();
  X509Ptr x509(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
  if (!x509) return OpenSslError(ErrorCode::InvalidInput, "not a DER X.509 certificate");
  if (cursor != der.data() + der.size()) {
    return Error{ErrorCode::InvalidInput, "bytes after the end of the certificate"};
  }
  auto impl = std::make_shared<Impl>();
  impl->x509 = std::move(x509);
  impl->der.assign(der.begin(), der.end());
  LatelyParsed().Keep(impl);
  return Certificate(std::move(impl));
}

Result<Certificate> Certificate::FromPem(std::string_view pem) {
  if (!HasPemArmour(pem)) return Error{ErrorCode::InvalidInput, "no PEM armour line"};
  auto block = FindPemBlock(pem, "CERTIFICATE");
  if (!block) block = FindPemBlock(pem, "X509 CERTIFICATE");
  if (!block) return Error{ErrorCode::InvalidInput, "no readable certificate block in the PEM text"};
  return FromDer(block->der);
}

Result<Certificate> Certificate::FromBytes(ByteView bytes) {
  const std::string_view text = AsChars(bytes);
  if (HasPemArmour(text)) return FromPem(text);
  return FromDer(bytes);
}

Bytes Certificate::Der() const { return impl_->der; }

std::string Certificate::Pem() const { return EncodePem("CERTIFICATE", impl_->der); }

std::u16string Certificate::Name(NameOf which, NameStyle style) const {
  const X509* x509 = impl_->x509.get();
  const X509_NAME* name = NameOfCertificate(x509, which);
  switch (style) {
    case NameStyle::SimpleDisplay: {
      for (const int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName,
                            NID_pkcs9_emailAddress}) {
        if (std::string value = FirstAttribute(name, nid); !value.empty()) return Utf8ToUtf16(value);
      }
      if (std::string email = AlternativeEmail(x509, which); !email.empty()) return Utf8ToUtf16(email);
      if (X509_NAME_entry_count(name) > 0) return Utf8ToUtf16(EntryText(X509_NAME_get_entry(name, 0)));
      return {};
    }
    case NameStyle::Email: {
      if (std::string email = AlternativeEmail(x509, which); !email.empty()) return Utf8ToUtf16(email);
      return Utf8ToUtf16(FirstAttribute(name, NID_pkcs9_emailAddress));
    }
    case NameStyle::Full:
      return Utf8ToUtf16(FullName(name));
  }
  return {};
}

std::u16string Certificate::NameAttribute(NameOf which, std::string_view attribute) const {
  std::vector<std::u16string> values = NameAttributes(which, attribute);
  return values.empty() ? std::u16string() : std::move(values.front());
}

std::vector<std::u16string> Certificate::NameAttributes(NameOf which, std::string_view attribute) const {
  const std::string text(attribute);
  std::unique_ptr<ASN1_OBJECT, OpenSslDeleter<ASN1_OBJECT_free>> object(OBJ_txt2obj(text.c_str(), 0));
  if (!object) {
    ERR_clear_error();
    return {};
  }
  const X509_NAME* name = NameOfCertificate(impl_->x509.get(), which);
  std::vector<std::u16string> values;
  for (int index = X509_NAME_get_index_by_OBJ(name, object.get(), -1); index >= 0;
       index = X509_NAME_get_index_by_OBJ(name, object.get(), index))
    values.push_back(Utf8ToUtf16(EntryText(X509_NAME_get_entry(name, index))));
  return values;
}

Bytes Certificate::NameDer(NameOf which) const {
  const X509_NAME* name = NameOfCertificate(impl_->x509.get(), which);
  const unsigned char* der = nullptr;
  std::size_t length = 0;
  if (X509_NAME_get0_der(name, &der, &length) != 1) return {};
  return Bytes(der, der + length);
}

Bytes Certificate::SerialNumber() const {
  BignumPtr number(ASN1_INTEGER_to_BN(X509_get0_serialNumber(impl_->x509.get()), nullptr));
  if (!number) return {};
  return BignumBytes(number.get());
}

std::string Certificate::SerialNumberHex() const {
  std::string hex;
  for (const std::uint8_t byte : SerialNumber()) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", byte);
    hex += digits;
  }
  return hex;
}

std::time_t Certificate::NotBefore() const { return ToTimeT(X509_get0_notBefore(impl_->x509.get())); }
std::time_t Certificate::NotAfter() const { return ToTimeT(X509_get0_notAfter(impl_->x509.get())); }

int Certificate::CompareValidity(std::time_t when) const {
  if (when < NotBefore()) return -1;
  if (when > NotAfter()) return 1;
  return 0;
}

Bytes Certificate::Sha1Thumbprint() const { return Sha1(impl_->der); }

KeyAlgorithm Certificate::PublicKeyAlgorithm() const {
  const EVP_PKEY* key = X509_get0_pubkey(impl_->x509.get());
  if (key == nullptr) return KeyAlgorithm::Other;
  switch (EVP_PKEY_get_base_id(key)) {
    case EVP_PKEY_RSA: return KeyAlgorithm::Rsa;
    case EVP_PKEY_EC: return KeyAlgorithm::Ec;
    default: return KeyAlgorithm::Other;
  }
}

std::string Certificate::PublicKeyAlgorithmOid() const {
  const X509_PUBKEY* publicKey = X509_get_X509_PUBKEY(impl_->x509.get());
  ASN1_OBJECT* algorithm = nullptr;
  if (publicKey == nullptr || X509_PUBKEY_get0_param(&algorithm, nullptr, nullptr, nullptr, publicKey) != 1) {
    return {};
  }
  char buffer[128];
  const int length = OBJ_obj2txt(buffer, sizeof buffer, algorithm, 1);
  if (length <= 0 || length >= static_cast<int>(sizeof buffer)) return {};
  return std::string(buffer, static_cast<std::size_t>(length));
}

int Certificate::PublicKeyBits() const {
  const EVP_PKEY* key = X509_get0_pubkey(impl_->x509.get());
  return key == nullptr ? 0 : EVP_PKEY_get_bits(key);
}

Bytes Certificate::PublicKeyDer() const {
  unsigned char* der = nullptr;
  const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(impl_->x509.get()), &der);
  if (length <= 0) return {};
  Bytes bytes(der, der + length);
  OPENSSL_free(der);
  return bytes;
}

bool Certificate::IsSelfIssued() const {
  return X509_NAME_cmp(X509_get_subject_name(impl_->x509.get()), X509_get_issuer_name(impl_->x509.get())) == 0;
}

bool Certificate::operator==(const Certificate& other) const {
  return impl_ == other.impl_ || impl_->der == other.impl_->der;
}

}  // namespace sealrun::platform::crypto
