#pragma once
// The revision part of a seal's verdict. A seal speaks for the document as it stood when it was applied: a
// seal annotation's record must hold the fingerprint of the document as it stood in the revision the seal
// was added in, a signature must sign its revision, and every change a later revision made must be an
// allowed one. Where the file does not tell its revisions, a seal is judged against the document as it is.
#include <map>
#include <optional>
#include <string>

#include "verify/DocumentVerification.h"
#include "verify/LaterChanges.h"
#include "verify/RevisionHistory.h"

namespace sealrun::verify {

// The fingerprints of the document as it stood in earlier revisions, each taken once, on a document of its
// own (the computation adds page identifiers in memory, which the comparison of revisions must not see).
class RevisionFingerprints {
 public:
  explicit RevisionFingerprints(RevisionHistory& history) : history_(history) {}
  // nullopt when the revision does not read on its own or its fingerprint cannot be taken in full.
  std::optional<std::u16string> Of(int revision);
  // The fingerprint as the earlier release computed it (LegacyDocumentFingerprint), of the revision or, for
  // kUnknownRevision, of the document as it is; its seals in the field store that one.
  std::optional<std::u16string> EarlierReleaseOf(int revision);

 private:
  RevisionHistory& history_;
  std::map<int, std::optional<std::u16string>> taken_;
  std::map<int, std::optional<std::u16string>> earlier_;
};

// A seal annotation with its record read: its revision, fingerprint check and later changes, the findings
// they give and the verdict. `current` is the fingerprint of the document as it is (nullopt: not taken in
// full).
void JudgeSealAnnotation(SealVerdict& seal, RevisionHistory& history, RevisionFingerprints& fingerprints,
                         const std::optional<std::u16string>& current);

// A signed field, given the result of the engine's signature check: its revision, later changes, findings
// and verdict. Where the revisions are unknown, the pages of the signed bytes are compared with the
// document's as the engine does it.
void JudgeSignatureField(SealVerdict& seal, qp_signature signature, int signatureResult, RevisionHistory& history);

// The objects of the signature field whose value is object `signatureNumber`: the field, its widgets and
// the value itself.
SealObjects SignatureFieldObjects(qp_document document, int signatureNumber);

}  // namespace sealrun::verify
