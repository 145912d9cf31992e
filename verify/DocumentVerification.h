#pragma once
// Verifying every seal of one document: signature fields by the engine's own signature verification, seal
// annotations by comparing the document fingerprint computed now with the one stored in each seal's
// record. A verification never saves the document.
#include <string>
#include <string_view>
#include <vector>

#include "config/SignatureMode.h"
#include "external/qp.h"
#include "verify/RowOutcome.h"
#include "verify/SealDiscovery.h"
#include "verify/SealFindings.h"
#include "verify/SignerTrust.h"
#include "verify/VerificationResult.h"

namespace sealrun::verify {

using config::SealForm;

struct SealVerdict {
  SealForm form = SealForm::SealAnnotation;
  int pageIndex = -1;     // -1 when the engine does not tell
  int objectNumber = 0;   // the annotation's dictionary, or the field's signature dictionary
  RecordState recordState = RecordState::None;
  std::u16string record;  // the decoded record text
  bool valid = false;
  int revision = -1;                  // the update the seal was added in (0: the original file); -1 unknown
  std::vector<Finding> findings;      // why it is invalid, and notes
  std::vector<LaterChange> changes;   // what later revisions changed, each allowed or not
};

struct DocumentExamination {
  std::vector<SealVerdict> seals;
  // False when a page could not be read (damaged, or past the engine's bounds): seals on it are not counted,
  // so the document's counts stand for part of it only.
  bool complete = true;
  int Valid() const;
  int Invalid() const;
};

// Every signed field, in engine order: valid when the signature (or a document timestamp's token) verifies
// over its revision, every change a later revision made is allowed, and its signer passes the signer checks
// (verify/SignerChecks.h) with `trust`.
DocumentExamination ExamineSignatureFields(qp_document document, const SignerTrust& trust = {});
// Every seal annotation with a record stream, pages in order: valid when its record contains the fingerprint
// of the document as it stood in the revision the seal was added in, every change a later revision made is
// allowed, and its signed message, if it has one, passes the signer checks with `trust`. When the
// fingerprint cannot be computed every such seal is invalid. Page identifiers the fingerprint adds stay in
// memory.
DocumentExamination ExamineSealAnnotations(qp_document document, const SignerTrust& trust = {});

// One file's seal counts, or that it did not open; nothing is reported. Safe to call from several threads at
// once, each with an engine of its own.
VerificationResult VerifySignatureFieldsOf(qp_engine engine, std::u16string_view path, const SignerTrust& trust = {});
VerificationResult VerifySealAnnotationsOf(qp_engine engine, std::u16string_view path, const SignerTrust& trust = {});

// One file of a verification run: the document's seal counts, or that it did not open. A file with an
// invalid seal (or that does not open) is reported as failed; only the former is highlighted.
VerificationResult VerifySignatureFields(qp_engine engine, std::u16string_view path, int row,
                                         const RowOutcome& outcome, const SignerTrust& trust = {});
VerificationResult VerifySealAnnotations(qp_engine engine, std::u16string_view path, int row,
                                         const RowOutcome& outcome, const SignerTrust& trust = {});

}  // namespace sealrun::verify
