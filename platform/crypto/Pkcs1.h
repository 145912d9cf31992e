#pragma once
// Raw RSA PKCS#1 v1.5 signatures, as a signing server returns them for signed attributes.
#include "platform/crypto/Bytes.h"
#include "platform/crypto/Certificate.h"
#include "platform/crypto/Digest.h"
#include "platform/crypto/PrivateKey.h"
#include "platform/crypto/Result.h"

namespace sealrun::platform::crypto {

// Signs the digest of the data (the digest is computed here). Unsupported for non-RSA keys.
Result<Bytes> SignPkcs1(const PrivateKey& key, DigestAlgorithm digest, ByteView data);
// Signs a digest computed elsewhere (its size must match the algorithm).
Result<Bytes> SignPkcs1Digest(const PrivateKey& key, DigestAlgorithm digest, ByteView digestBytes);

// True when the signature is a valid PKCS#1 v1.5 signature of the data's digest by the
// certificate's key. False for anything else, malformed input included.
bool VerifyPkcs1(const Certificate& signer, DigestAlgorithm digest, ByteView data, ByteView signature);

inline Result<Bytes> SignPkcs1Sha1(const PrivateKey& key, ByteView data) {
  return SignPkcs1(key, DigestAlgorithm::Sha1, data);
}
inline bool VerifyPkcs1Sha1(const Certificate& signer, ByteView data, ByteView signature) {
  return VerifyPkcs1(signer, DigestAlgorithm::Sha1, data, signature);
}

}  // namespace sealrun::platform::crypto
