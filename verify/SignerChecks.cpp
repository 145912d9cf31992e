#include "verify/SignerChecks.h"

#include <string>

#include "support/Trace.h"
#include "verify/FieldSignature.h"
#include "verify/KeySerial.h"
#include "verify/SignedMessage.h"

namespace sealrun::verify {

namespace {

// A reason (not a note) makes the seal invalid; with traces on, the why behind it is written.
void Add(SealVerdict& seal, Finding finding, std::string_view why = {}) {
  seal.findings.push_back(finding);
  if (IsNote(finding)) return;
  seal.valid = false;
  if (!why.empty())
    support::Trace("seal object " + std::to_string(seal.objectNumber) + ": " + std::string(FindingText(finding)) +
                   ": " + std::string(why));
}

// Trust and the record's key serial, for a signer whose signature verified.
void CheckSigner(const std::optional<platform::crypto::Certificate>& signer, const SignerTrust& trust,
                 SealVerdict& seal) {
  if (trust.Checks()) {
    if (!signer) {
      Add(seal, Finding::SignerUntrusted, "the signature carries no certificate");
    } else if (const SignerJudgement judged = trust.Judge(*signer); judged.standing != SignerStanding::Trusted) {
      Add(seal, Finding::SignerUntrusted, judged.why);
    }
  }
  if (signer && SerialContradictsSigner(seal.record, *signer)) Add(seal, Finding::SerialContradictsSigner);
}

}  // namespace

void CheckSealAnnotationSigner(qp_annot annotation, const SignerTrust& trust, SealVerdict& seal) {
  // Without a readable record there is no stored fingerprint to check a message against.
  if (seal.recordState != RecordState::Readable) return;
  const SignedMessageCheck message = CheckSignedMessage(annotation, seal.record);
  switch (message.state) {
    case SignedMessageState::Absent:
      Add(seal, Finding::NoteNoSignedMessage);
      return;
    case SignedMessageState::Invalid:
      Add(seal, Finding::SignedMessageInvalid, message.problem);
      return;
    case SignedMessageState::Valid:
      CheckSigner(message.signer, trust, seal);
      return;
  }
}

void CheckSignatureFieldSigner(qp_signature signature, int signatureResult, qp_certificate signer,
                               const SignerTrust& trust, SealVerdict& seal) {
  if (qp_signature_is_document_timestamp(signature) == 1) {
    // A timestamp proves when, not who: the configured root is the seal signers'.
    if (signatureResult != QP_OK) Add(seal, Finding::TimestampInvalid);
    return;
  }
  if (signatureResult != QP_OK) return;  // a signature that does not verify names no signer to judge
  CheckSigner(CertificateOf(signer), trust, seal);
}

}  // namespace sealrun::verify
