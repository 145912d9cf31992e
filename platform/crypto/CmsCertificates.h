#pragma once
// The certificates a CMS SignedData carries, taken out of its DER. Parsing a certificate's public key is the
// dearest step of reading a signature with OpenSSL 3, and every file of a batch carries the same signer and
// issuer: read apart, they are parsed once (Certificate::FromDer keeps what it parsed lately) and the
// SignedData without them parses quickly.
#include <optional>
#include <vector>

#include "platform/crypto/Bytes.h"

namespace sealrun::platform::crypto {

struct SeparatedCertificates {
  Bytes signedData;                    // the ContentInfo again, without its certificates field
  std::vector<ByteView> certificates;  // each an X.509 certificate's DER, in the order carried
};

// nullopt when the DER is not a ContentInfo with definite lengths wrapping a SignedData whose certificates are
// all X.509 certificates; the caller then reads the signature whole, as before.
std::optional<SeparatedCertificates> SeparateCertificates(ByteView contentInfo);

}  // namespace sealrun::platform::crypto
