#pragma once
// RAII holders for the OpenSSL handles the certificate library works with directly, and parsing of
// certificates and revocation lists from file bytes (DER or PEM).
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <memory>
#include <string_view>

#include "platform/crypto/Bytes.h"
#include "platform/crypto/Certificate.h"

namespace sealrun::components::certlib {

template <auto Free>
struct OpenSslFree {
  template <typename T>
  void operator()(T* handle) const { Free(handle); }
};

inline void FreeCertificateStack(STACK_OF(X509)* stack) { sk_X509_pop_free(stack, X509_free); }

using X509Holder = std::unique_ptr<X509, OpenSslFree<X509_free>>;
using X509CrlHolder = std::unique_ptr<X509_CRL, OpenSslFree<X509_CRL_free>>;
using X509StackHolder = std::unique_ptr<STACK_OF(X509), OpenSslFree<FreeCertificateStack>>;
using EvpPkeyHolder = std::unique_ptr<EVP_PKEY, OpenSslFree<EVP_PKEY_free>>;
using Pkcs12Holder = std::unique_ptr<PKCS12, OpenSslFree<PKCS12_free>>;
using CmsHolder = std::unique_ptr<CMS_ContentInfo, OpenSslFree<CMS_ContentInfo_free>>;
using BioHolder = std::unique_ptr<BIO, OpenSslFree<BIO_free_all>>;

// An OpenSSL copy of a certificate context (from its DER bytes); null when it does not parse.
X509Holder ToX509(const platform::crypto::Certificate& certificate);
// A revocation list from DER bytes or PEM text ("X509 CRL"); null when it does not parse.
X509CrlHolder ParseRevocationList(platform::crypto::ByteView bytes);

}  // namespace sealrun::components::certlib
