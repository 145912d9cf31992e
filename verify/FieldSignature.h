#pragma once
// What the engine says of a signed field's signature: whether it verifies, who signed it, and whether it is a
// document timestamp rather than a signature.
#include <optional>

#include "external/qp.h"
#include "platform/crypto/Certificate.h"

namespace sealrun::verify {

// The certificate the engine handed out, or nullopt for none (or one that does not parse).
std::optional<platform::crypto::Certificate> CertificateOf(qp_certificate certificate);

struct FieldSignature {
  int result = QP_ERR_VERIFY;  // qp_signature_verify's
  std::optional<platform::crypto::Certificate> signer;
  bool documentTimestamp = false;
  bool Verifies() const { return result == QP_OK; }
};

FieldSignature VerifyFieldSignature(qp_signature signature);

}  // namespace sealrun::verify
