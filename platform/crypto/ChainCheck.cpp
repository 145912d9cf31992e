#include "platform/crypto/ChainCheck.h"

#include <climits>

#include <openssl/pem.h>

#include "platform/crypto/OpenSslHandles.h"
#include "platform/crypto/PemArmour.h"

namespace sealrun::platform::crypto {
namespace {

X509CrlPtr ParseRevocationList(const Bytes& bytes) {
  const std::string_view text = AsChars(bytes);
  Bytes der;
  if (HasPemArmour(text)) {
    auto block = FindPemBlock(text, "X509 CRL");
    if (!block) return nullptr;
    der = std::move(block->der);
  } else {
    der = bytes;
  }
  if (der.empty() || der.size() > static_cast<std::size_t>(LONG_MAX)) return nullptr;
  const unsigned char* cursor = der.data();
  return X509CrlPtr(d2i_X509_CRL(nullptr, &cursor, static_cast<long>(der.size())));
}

ChainStatus StatusOf(int error) {
  switch (error) {
    case X509_V_OK:
      return ChainStatus::Valid;
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return ChainStatus::NotYetValid;
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return ChainStatus::Expired;
    case X509_V_ERR_CERT_REVOKED:
      return ChainStatus::Revoked;
    case X509_V_ERR_UNABLE_TO_GET_CRL:
      return ChainStatus::NoRevocationList;
    case X509_V_ERR_CRL_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CRL_SIGNATURE:
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_CRL_HAS_EXPIRED:
    case X509_V_ERR_UNABLE_TO_GET_CRL_ISSUER:
    case X509_V_ERR_ERROR_IN_CRL_LAST_UPDATE_FIELD:
    case X509_V_ERR_ERROR_IN_CRL_NEXT_UPDATE_FIELD:
    case X509_V_ERR_DIFFERENT_CRL_SCOPE:
      return ChainStatus::BadRevocationList;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_INVALID_CA:
      return ChainStatus::UntrustedRoot;
    default:
      return ChainStatus::Other;
  }
}

}  // namespace

ChainResult VerifyChain(const Certificate& certificate, std::span<const Certificate> roots,
                        std::span<const Certificate> intermediates, const ChainCheckOptions& options) {
  ChainResult result;
  X509StorePtr store(X509_STORE_new());
  X509StackPtr untrusted(sk_X509_new_null());
  X509StoreCtxPtr context(X509_STORE_CTX_new());
  if (!store || !untrusted || !context) {
    result.detail = "out of memory";
    return result;
  }
  for (const Certificate& root : roots) X509_STORE_add_cert(store.get(), root.GetImpl().x509.get());
  for (const Certificate& intermediate : intermediates) {
    X509* x509 = intermediate.GetImpl().x509.get();
    if (sk_X509_push(untrusted.get(), x509) > 0) X509_up_ref(x509);
  }

  // The given roots are trust anchors even when they are not self-signed themselves.
  unsigned long flags = X509_V_FLAG_PARTIAL_CHAIN;
  if (!options.revocationLists.empty()) {
    flags |= X509_V_FLAG_CRL_CHECK;
    for (const Bytes& bytes : options.revocationLists) {
      X509CrlPtr crl = ParseRevocationList(bytes);
      if (!crl) {
        ERR_clear_error();
        result.status = ChainStatus::BadRevocationList;
        result.detail = "a revocation list cannot be read";
        return result;
      }
      X509_STORE_add_crl(store.get(), crl.get());
    }
  }
  X509_STORE_set_flags(store.get(), flags);

  if (X509_STORE_CTX_init(context.get(), store.get(), certificate.GetImpl().x509.get(), untrusted.get()) != 1) {
    ERR_clear_error();
    result.detail = "cannot start the chain check";
    return result;
  }
  X509_VERIFY_PARAM_set_time(X509_STORE_CTX_get0_param(context.get()), options.at.value_or(std::time(nullptr)));

  const bool valid = X509_verify_cert(context.get()) == 1;
  const int error = X509_STORE_CTX_get_error(context.get());
  result.status = valid ? ChainStatus::Valid : StatusOf(error);
  if (!valid && result.status == ChainStatus::Valid) result.status = ChainStatus::Other;
  if (!valid) result.detail = X509_verify_cert_error_string(error);
  ERR_clear_error();
  return result;
}

}  // namespace sealrun::platform::crypto
