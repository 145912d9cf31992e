#pragma once
// Private to platform/crypto (included by its .cpp files only): OpenSSL handles in RAII holders and
// the insides of the public classes. Nothing outside this folder sees an OpenSSL type.
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/crypto/Bytes.h"
#include "platform/crypto/Certificate.h"
#include "platform/crypto/Digest.h"
#include "platform/crypto/PrivateKey.h"
#include "platform/crypto/Result.h"

namespace sealrun::platform::crypto {

template <auto Free>
struct OpenSslDeleter {
  template <typename T>
  void operator()(T* handle) const { Free(handle); }
};

inline void FreeX509Stack(STACK_OF(X509)* stack) { sk_X509_pop_free(stack, X509_free); }

using X509Ptr = std::unique_ptr<X509, OpenSslDeleter<X509_free>>;
using X509StackPtr = std::unique_ptr<STACK_OF(X509), OpenSslDeleter<FreeX509Stack>>;
using X509CrlPtr = std::unique_ptr<X509_CRL, OpenSslDeleter<X509_CRL_free>>;
using X509StorePtr = std::unique_ptr<X509_STORE, OpenSslDeleter<X509_STORE_free>>;
using X509StoreCtxPtr = std::unique_ptr<X509_STORE_CTX, OpenSslDeleter<X509_STORE_CTX_free>>;
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY_free>>;
using EvpPkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, OpenSslDeleter<EVP_PKEY_CTX_free>>;
using EvpMdCtxPtr = std::unique_ptr<EVP_MD_CTX, OpenSslDeleter<EVP_MD_CTX_free>>;
using BioPtr = std::unique_ptr<BIO, OpenSslDeleter<BIO_free_all>>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, OpenSslDeleter<CMS_ContentInfo_free>>;
using Pkcs12Ptr = std::unique_ptr<PKCS12, OpenSslDeleter<PKCS12_free>>;
using BignumPtr = std::unique_ptr<BIGNUM, OpenSslDeleter<BN_free>>;
using GeneralNamesPtr = std::unique_ptr<GENERAL_NAMES, OpenSslDeleter<GENERAL_NAMES_free>>;

class Certificate::Impl {
 public:
  X509Ptr x509;
  Bytes der;
};

class PrivateKey::Impl {
 public:
  // What a key held elsewhere (on a token) needs to stay usable: it goes after the key.
  std::shared_ptr<const void> owner;
  EvpPkeyPtr key;
};

// A Certificate sharing the given X509 (its reference count is raised).
Certificate WrapX509(X509* x509);
// A PrivateKey sharing the given key (its reference count is raised), keeping `owner` alive as long.
PrivateKey WrapPkey(EVP_PKEY* key, std::shared_ptr<const void> owner = nullptr);

// The OpenSSL error queue as text (emptied), for error messages.
std::string TakeOpenSslErrors();
// An error whose message is `what` followed by the queued OpenSSL errors, if any.
Error OpenSslError(ErrorCode code, std::string_view what);

const EVP_MD* DigestMd(DigestAlgorithm algorithm);

// A read-only memory BIO over the bytes (no copy).
BioPtr MemoryBio(ByteView bytes);
// Everything written to a memory BIO.
Bytes BioBytes(BIO* bio);

}  // namespace sealrun::platform::crypto
