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

namespace sealrun::verify {

inline constexpr char16_t kOpenFailedText[] = u"文档打开失败";
inline constexpr int kDocumentOpenFailed = -1;

using config::SealForm;

struct SealVerdict {
  SealForm form = SealForm::SealAnnotation;
  int pageIndex = -1;     // -1 when the engine does not tell
  int objectNumber = 0;   // the annotation's dictionary, or the field's signature dictionary
  RecordState recordState = RecordState::None;
  std::u16string record;  // the decoded record text
  bool valid = false;
};

struct DocumentExamination {
  std::vector<SealVerdict> seals;
  int Valid() const;
  int Invalid() const;
};

// Every signed field, in engine order: valid when the signature verifies over its revision and no later
// revision changed page content.
DocumentExamination ExamineSignatureFields(qp_document document);
// Every seal annotation with a record stream, pages in order: valid when its record contains the document's
// fingerprint. When the fingerprint cannot be computed every such seal is invalid. Page identifiers the
// fingerprint adds stay in memory.
DocumentExamination ExamineSealAnnotations(qp_document document);

// "印章总数:T 有效:V 失效:I".
std::u16string VerificationResultText(int valid, int invalid);

// One file of a verification run: the number of invalid seals, or kDocumentOpenFailed with the text
// "文档打开失败". A file with an invalid seal (or that does not open) is reported as failed; only the
// former is highlighted.
int VerifySignatureFields(qp_engine engine, std::u16string_view path, int row, std::u16string& resultText,
                          const RowOutcome& outcome);
int VerifySealAnnotations(qp_engine engine, std::u16string_view path, int row, std::u16string& resultText,
                          const RowOutcome& outcome);

}  // namespace sealrun::verify
