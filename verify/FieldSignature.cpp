#include "verify/FieldSignature.h"

#include <vector>

#include "external/QpHandles.h"

namespace sealrun::verify {

std::optional<platform::crypto::Certificate> CertificateOf(qp_certificate certificate) {
  std::size_t length = 0;
  if (certificate == nullptr || qp_certificate_get_der(certificate, nullptr, &length) != QP_OK || length == 0)
    return std::nullopt;
  std::vector<std::uint8_t> der(length);
  if (qp_certificate_get_der(certificate, der.data(), &length) != QP_OK || length != der.size()) return std::nullopt;
  auto parsed = platform::crypto::Certificate::FromDer(der);
  if (!parsed) return std::nullopt;
  return std::move(*parsed);
}

FieldSignature VerifyFieldSignature(qp_signature signature) {
  FieldSignature verified;
  qp_certificate raw = nullptr;
  verified.result = qp_signature_verify(signature, &raw);
  const external::CertificateHandle certificate(raw);
  verified.signer = CertificateOf(certificate.get());
  verified.documentTimestamp = qp_signature_is_document_timestamp(signature) == 1;
  return verified;
}

}  // namespace sealrun::verify
