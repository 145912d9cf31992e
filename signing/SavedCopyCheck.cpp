#include "signing/SavedCopyCheck.h"

#include <string>

#include "external/QpHandles.h"
#include "platform/text/Utf.h"
#include "verify/DocumentVerification.h"

namespace sealrun::signing {
namespace {

// What this check answers is whether the seal was written right: its record, fingerprint, signature and
// bytes. Who made it (a signed message or certificate the key's own components gave) is verification's
// question, with the trust settings of whoever verifies.
bool AboutTheSigner(verify::Finding finding) {
  switch (finding) {
    case verify::Finding::SignedMessageInvalid:
    case verify::Finding::SignerUntrusted:
    case verify::Finding::SerialContradictsSigner:
      return true;
    default:
      return false;
  }
}

bool SealWrittenRight(qp_document copy, config::SealForm form, int sealObject) {
  const verify::DocumentExamination examination = form == config::SealForm::SignatureField
                                                      ? verify::ExamineSignatureFields(copy)
                                                      : verify::ExamineSealAnnotations(copy);
  for (const verify::SealVerdict& seal : examination.seals) {
    if (seal.objectNumber != sealObject) continue;
    if (seal.valid) return true;
    // Invalid for a reason about the signer alone; an invalid seal with nothing but notes was written wrong.
    bool signerFinding = false;
    for (const verify::Finding finding : seal.findings) {
      if (verify::IsNote(finding)) continue;
      if (!AboutTheSigner(finding)) return false;
      signerFinding = true;
    }
    return signerFinding;
  }
  return false;
}

}  // namespace

StampResult CheckAndCommitSavedCopy(qp_engine engine, qp_document document, config::SealForm form, int sealObject) {
  const std::string staged = external::StagedCopyPath(document);
  if (staged.empty()) return StampFailure::NotSaved;
  {
    const external::DocumentHandle copy = external::OpenDocument(engine, platform::text::Utf8ToUtf16(staged));
    if (!copy) return StampFailure::SavedCopyUnreadable;
    if (sealObject <= 0 || !SealWrittenRight(copy.get(), form, sealObject)) return StampFailure::SavedSealInvalid;
  }
  const int committed = qp_document_commit(document);
  if (committed != QP_OK) return {StampFailure::NotSaved, committed};
  return {};
}

}  // namespace sealrun::signing
