#include "platform/crypto/Pkcs1.h"

#include <openssl/rsa.h>

#include "platform/crypto/OpenSslHandles.h"

namespace sealrun::platform::crypto {
namespace {

EvpPkeyCtxPtr Pkcs1Context(EVP_PKEY* key, DigestAlgorithm digest, bool signing) {
  EvpPkeyCtxPtr context(EVP_PKEY_CTX_new(key, nullptr));
  if (!context) return nullptr;
  const int init = signing ? EVP_PKEY_sign_init(context.get()) : EVP_PKEY_verify_init(context.get());
  if (init != 1 || EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) != 1 ||
      EVP_PKEY_CTX_set_signature_md(context.get(), DigestMd(digest)) != 1) {
    return nullptr;
  }
  return context;
}

}  // namespace

Result<Bytes> SignPkcs1Digest(const PrivateKey& key, DigestAlgorithm digest, ByteView digestBytes) {
  if (key.Algorithm() != KeyAlgorithm::Rsa) return Error{ErrorCode::Unsupported, "PKCS#1 needs an RSA key"};
  if (digestBytes.size() != DigestSize(digest)) return Error{ErrorCode::InvalidInput, "wrong digest length"};
  EvpPkeyCtxPtr context = Pkcs1Context(key.GetImpl().key.get(), digest, true);
  std::size_t length = 0;
  if (!context || EVP_PKEY_sign(context.get(), nullptr, &length, digestBytes.data(), digestBytes.size()) != 1) {
    return OpenSslError(ErrorCode::Failed, "cannot start the RSA signature");
  }
  Bytes signature(length);
  if (EVP_PKEY_sign(context.get(), signature.data(), &length, digestBytes.data(), digestBytes.size()) != 1) {
    return OpenSslError(ErrorCode::Failed, "RSA signing failed");
  }
  signature.resize(length);
  return signature;
}

Result<Bytes> SignPkcs1(const PrivateKey& key, DigestAlgorithm digest, ByteView data) {
  return SignPkcs1Digest(key, digest, ComputeDigest(digest, {data}));
}

bool VerifyPkcs1(const Certificate& signer, DigestAlgorithm digest, ByteView data, ByteView signature) {
  EVP_PKEY* publicKey = X509_get0_pubkey(signer.GetImpl().x509.get());
  if (publicKey == nullptr || EVP_PKEY_get_base_id(publicKey) != EVP_PKEY_RSA || signature.empty()) {
    ERR_clear_error();
    return false;
  }
  const Bytes digestBytes = ComputeDigest(digest, {data});
  EvpPkeyCtxPtr context = Pkcs1Context(publicKey, digest, false);
  const bool valid = context && EVP_PKEY_verify(context.get(), signature.data(), signature.size(),
                                                digestBytes.data(), digestBytes.size()) == 1;
  ERR_clear_error();
  return valid;
}

}  // namespace sealrun::platform::crypto
