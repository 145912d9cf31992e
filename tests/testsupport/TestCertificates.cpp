#include "tests/testsupport/TestCertificates.h"

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace sealrun::testing {
namespace {

template <auto Free>
struct Deleter {
  template <typename T>
  void operator()(T* handle) const { Free(handle); }
};
void FreeX509Stack(STACK_OF(X509)* stack) { sk_X509_pop_free(stack, X509_free); }

using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509_free>>;
using CrlPtr = std::unique_ptr<X509_CRL, Deleter<X509_CRL_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using Pkcs12Ptr = std::unique_ptr<PKCS12, Deleter<PKCS12_free>>;
using StackPtr = std::unique_ptr<STACK_OF(X509), Deleter<FreeX509Stack>>;
using ExtensionPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;
using TimePtr = std::unique_ptr<ASN1_TIME, Deleter<ASN1_TIME_free>>;

void Check(bool ok, const char* what) {
  if (!ok) {
    char buffer[256] = {};
    ERR_error_string_n(ERR_get_error(), buffer, sizeof buffer);
    throw std::runtime_error(std::string("test certificate: ") + what + ": " + buffer);
  }
}

KeyPtr GenerateKey(int bits) {
  KeyPtr key(EVP_RSA_gen(static_cast<unsigned int>(bits)));
  Check(key != nullptr, "RSA key generation");
  return key;
}

KeyPtr ReadKey(const std::string& pem) {
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  KeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
  Check(key != nullptr, "reading the issuer key");
  return key;
}

X509Ptr ReadCertificate(const std::vector<std::uint8_t>& der) {
  const unsigned char* cursor = der.data();
  X509Ptr x509(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
  Check(x509 != nullptr, "reading the issuer certificate");
  return x509;
}

void AddNameEntry(X509_NAME* name, const char* field, const std::string& value) {
  if (value.empty()) return;
  Check(X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(value.c_str()),
                                   -1, -1, 0) == 1,
        "name entry");
}

void AddExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str()));
  Check(extension != nullptr && X509_add_ext(certificate, extension.get(), -1) == 1, "extension");
}

std::string KeyPem(EVP_PKEY* key) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  Check(PEM_write_bio_PKCS8PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1, "key PEM");
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(length));
}

std::string CertificatePem(X509* certificate) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  Check(PEM_write_bio_X509(bio.get(), certificate) == 1, "certificate PEM");
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(length));
}

template <typename T, typename Encode>
std::vector<std::uint8_t> Der(T* object, Encode encode) {
  unsigned char* der = nullptr;
  const int length = encode(object, &der);
  Check(length > 0, "DER encoding");
  std::vector<std::uint8_t> bytes(der, der + length);
  OPENSSL_free(der);
  return bytes;
}

const std::string& SharedKeyPem() {
  static const std::string pem = KeyPem(GenerateKey(2048).get());
  return pem;
}

// Builds the certificate; `issuerCertificate` null means self-signed.
TestIdentity Make(const TestCertificateOptions& options, X509* issuerCertificate, EVP_PKEY* issuerKey) {
  KeyPtr key = (options.freshKey || options.rsaBits != 2048 || issuerCertificate != nullptr)
                   ? GenerateKey(options.rsaBits)
                   : ReadKey(SharedKeyPem());
  X509Ptr certificate(X509_new());
  Check(certificate != nullptr, "X509_new");
  X509_set_version(certificate.get(), 2);
  Check(ASN1_INTEGER_set_uint64(X509_get_serialNumber(certificate.get()), options.serial) == 1, "serial");
  Check(X509_time_adj_ex(X509_getm_notBefore(certificate.get()), 0, static_cast<long>(options.notBeforeOffset),
                         nullptr) != nullptr,
        "not before");
  Check(X509_time_adj_ex(X509_getm_notAfter(certificate.get()), 0, static_cast<long>(options.notAfterOffset),
                         nullptr) != nullptr,
        "not after");

  X509_NAME* subject = X509_get_subject_name(certificate.get());
  AddNameEntry(subject, "C", options.country);
  AddNameEntry(subject, "O", options.organization);
  AddNameEntry(subject, "OU", options.organizationalUnit);
  AddNameEntry(subject, "CN", options.commonName);
  for (const std::string& serialNumber : options.subjectSerialNumbers) AddNameEntry(subject, "serialNumber", serialNumber);
  X509_set_issuer_name(certificate.get(),
                       issuerCertificate != nullptr ? X509_get_subject_name(issuerCertificate) : subject);
  Check(X509_set_pubkey(certificate.get(), key.get()) == 1, "public key");

  X509* issuerForExtensions = issuerCertificate != nullptr ? issuerCertificate : certificate.get();
  AddExtension(certificate.get(), issuerForExtensions, NID_basic_constraints,
               options.isCa ? "critical,CA:TRUE" : "CA:FALSE");
  AddExtension(certificate.get(), issuerForExtensions, NID_key_usage,
               options.isCa ? "critical,keyCertSign,cRLSign,digitalSignature"
                            : "critical,digitalSignature,nonRepudiation");
  AddExtension(certificate.get(), issuerForExtensions, NID_subject_key_identifier, "hash");
  AddExtension(certificate.get(), issuerForExtensions, NID_authority_key_identifier, "keyid:always");
  if (!options.extendedKeyUsage.empty()) {
    AddExtension(certificate.get(), issuerForExtensions, NID_ext_key_usage, options.extendedKeyUsage);
  }
  if (!options.email.empty()) {
    AddExtension(certificate.get(), issuerForExtensions, NID_subject_alt_name, "email:" + options.email);
  }
  EVP_PKEY* signingKey = issuerKey != nullptr ? issuerKey : key.get();
  Check(X509_sign(certificate.get(), signingKey, EVP_sha256()) > 0, "signing the certificate");

  StackPtr chain(sk_X509_new_null());
  if (issuerCertificate != nullptr) {
    X509_up_ref(issuerCertificate);
    sk_X509_push(chain.get(), issuerCertificate);
  }
  Pkcs12Ptr pkcs12(PKCS12_create(options.password.c_str(), "Sealrun test", key.get(), certificate.get(),
                                 chain.get(), 0, 0, 0, 0, 0));
  Check(pkcs12 != nullptr, "PKCS#12");

  TestIdentity identity;
  identity.certificateDer = Der(certificate.get(), i2d_X509);
  identity.certificatePem = CertificatePem(certificate.get());
  identity.privateKeyPem = KeyPem(key.get());
  identity.pkcs12 = Der(pkcs12.get(), i2d_PKCS12);
  identity.password = options.password;
  return identity;
}

}  // namespace

TestIdentity MakeSelfSignedForTesting(const TestCertificateOptions& options) { return Make(options, nullptr, nullptr); }

TestIdentity MakeIssuedForTesting(const TestIdentity& issuer, const TestCertificateOptions& options) {
  X509Ptr issuerCertificate = ReadCertificate(issuer.certificateDer);
  KeyPtr issuerKey = ReadKey(issuer.privateKeyPem);
  return Make(options, issuerCertificate.get(), issuerKey.get());
}

std::vector<std::uint8_t> SignMessageForTesting(const TestIdentity& signer, std::string_view data, MessageData form,
                                                bool withCertificate) {
  X509Ptr certificate = ReadCertificate(signer.certificateDer);
  KeyPtr key = ReadKey(signer.privateKeyPem);
  BioPtr input(BIO_new_mem_buf(data.data(), static_cast<int>(data.size())));
  unsigned int flags = CMS_BINARY | CMS_NOSMIMECAP;
  if (form == MessageData::Detached) flags |= CMS_DETACHED;
  if (!withCertificate) flags |= CMS_NOCERTS;
  std::unique_ptr<CMS_ContentInfo, Deleter<CMS_ContentInfo_free>> cms(
      CMS_sign(certificate.get(), key.get(), nullptr, input.get(), flags));
  Check(cms != nullptr, "signing the message");
  return Der(cms.get(), i2d_CMS_ContentInfo);
}

std::vector<std::uint8_t> MakeRevocationListForTesting(const TestIdentity& issuer,
                                                       const std::vector<std::uint64_t>& revokedSerials,
                                                       std::int64_t nextUpdateOffset) {
  X509Ptr issuerCertificate = ReadCertificate(issuer.certificateDer);
  KeyPtr issuerKey = ReadKey(issuer.privateKeyPem);
  CrlPtr crl(X509_CRL_new());
  Check(crl != nullptr, "X509_CRL_new");
  X509_CRL_set_version(crl.get(), 1);
  X509_CRL_set_issuer_name(crl.get(), X509_get_subject_name(issuerCertificate.get()));
  TimePtr lastUpdate(X509_time_adj_ex(nullptr, 0, -3600, nullptr));
  TimePtr nextUpdate(X509_time_adj_ex(nullptr, 0, static_cast<long>(nextUpdateOffset), nullptr));
  X509_CRL_set1_lastUpdate(crl.get(), lastUpdate.get());
  X509_CRL_set1_nextUpdate(crl.get(), nextUpdate.get());
  for (const std::uint64_t serial : revokedSerials) {
    X509_REVOKED* revoked = X509_REVOKED_new();
    ASN1_INTEGER* number = ASN1_INTEGER_new();
    ASN1_INTEGER_set_uint64(number, serial);
    X509_REVOKED_set_serialNumber(revoked, number);
    X509_REVOKED_set_revocationDate(revoked, lastUpdate.get());
    ASN1_INTEGER_free(number);
    Check(X509_CRL_add0_revoked(crl.get(), revoked) == 1, "revoked entry");
  }
  X509_CRL_sort(crl.get());
  Check(X509_CRL_sign(crl.get(), issuerKey.get(), EVP_sha256()) > 0, "signing the revocation list");
  return Der(crl.get(), i2d_X509_CRL);
}

const TestIdentity& SharedTestIdentity() {
  static const TestIdentity identity = MakeSelfSignedForTesting();
  return identity;
}

}  // namespace sealrun::testing
