#pragma once
// The checks of who made a seal, one function per seal form. Each adds its findings to the seal's verdict
// and, for a reason (not a note), clears valid:
// - a seal annotation's signed message must verify over the fingerprint its record stores, with the
//   certificate /certContext names (a seal without one is noted and stays valid);
// - a document timestamp's token must stamp its byte ranges;
// - the signer must be trusted (when the ValidateCertificate setting asks for it), and the record's key
//   serial must not contradict the signer's certificate.
#include "external/qp.h"
#include "verify/DocumentVerification.h"
#include "verify/SignerTrust.h"

namespace sealrun::verify {

void CheckSealAnnotationSigner(qp_annot annotation, const SignerTrust& trust, SealVerdict& seal);

// `signatureResult` and `signer` are what qp_signature_verify gave for the field's signature.
void CheckSignatureFieldSigner(qp_signature signature, int signatureResult, qp_certificate signer,
                               const SignerTrust& trust, SealVerdict& seal);

}  // namespace sealrun::verify
