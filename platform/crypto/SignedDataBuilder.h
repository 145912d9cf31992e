#pragma once
// A CMS SignedData assembled from parts made elsewhere: signed attributes over a digest and a raw
// PKCS#1 signature of those attributes returned by a signing server, plus the signer certificate.
#include "platform/crypto/Bytes.h"
#include "platform/crypto/Certificate.h"
#include "platform/crypto/Digest.h"
#include "platform/crypto/Result.h"

namespace sealrun::platform::crypto {

// DER of the signed attributes SET (tag 0x31): content type (data) and message digest, in that
// order. The same digest always gives the same bytes; this is what the signature is made over.
Bytes BuildSignedAttributes(ByteView digest);

struct SignedDataParts {
  Certificate certificate;
  // DER SET of the signed attributes (as BuildSignedAttributes makes them); written as [0].
  Bytes signedAttributes;
  // Raw signature over signedAttributes.
  Bytes signature;
  DigestAlgorithm digest = DigestAlgorithm::Sha1;
  // DER of a time-stamp token; empty for none.
  Bytes timeStampToken;
};

// ContentInfo { signedData, SignedData version 1, one digest algorithm, detached data content,
// the certificate, one SignerInfo by issuer and serial number whose signature algorithm is the
// certificate's public key algorithm }. InvalidInput when the attributes are not a DER SET or the
// signature is empty.
Result<Bytes> BuildSignedData(const SignedDataParts& parts);

}  // namespace sealrun::platform::crypto
