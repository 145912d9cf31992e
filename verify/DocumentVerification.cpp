#include "verify/DocumentVerification.h"

#include <algorithm>
#include <optional>

#include "external/QpHandles.h"
#include "platform/text/Utf.h"
#include "verify/DocumentFingerprint.h"

namespace sealrun::verify {

namespace {

using Examiner = DocumentExamination (*)(qp_document);

int VerifyWith(Examiner examine, qp_engine engine, std::u16string_view path, int row, std::u16string& resultText,
               const RowOutcome& outcome) {
  const external::DocumentHandle document = external::OpenDocument(engine, path);
  if (!document) {
    outcome.Fail(row, Highlight::No);
    resultText = kOpenFailedText;
    return kDocumentOpenFailed;
  }
  const DocumentExamination examination = examine(document.get());
  const int invalid = examination.Invalid();
  if (invalid > 0) outcome.Fail(row, Highlight::Yes);
  resultText = VerificationResultText(examination.Valid(), invalid);
  return invalid;
}

}  // namespace

int DocumentExamination::Valid() const {
  return static_cast<int>(std::count_if(seals.begin(), seals.end(), [](const SealVerdict& seal) { return seal.valid; }));
}

int DocumentExamination::Invalid() const { return static_cast<int>(seals.size()) - Valid(); }

DocumentExamination ExamineSignatureFields(qp_document document) {
  DocumentExamination examination;
  ForEachSignedField(document, [&examination](qp_field field, qp_signature signature) {
    SealVerdict seal;
    seal.form = SealForm::SignatureField;
    seal.pageIndex = qp_field_get_page_num(field);
    seal.objectNumber = qp_signature_get_obj_num(signature);
    seal.record = SignatureFieldReader(field);
    seal.recordState = seal.record.empty() ? RecordState::None : RecordState::Readable;
    qp_certificate rawCertificate = nullptr;
    const int signatureResult = qp_signature_verify(signature, &rawCertificate);
    const external::CertificateHandle certificate(rawCertificate);  // the verdict needs only the result
    int changed = 1;
    const int contentResult = qp_signature_verify_page_contents(signature, &changed);
    seal.valid = signatureResult == QP_OK && contentResult == QP_OK && changed == 0;
    examination.seals.push_back(std::move(seal));
  });
  return examination;
}

DocumentExamination ExamineSealAnnotations(qp_document document) {
  DocumentExamination examination;
  // Taken before any seal is read; a fingerprint over part of the document matches no seal.
  DocumentFingerprint fingerprint(document);
  const std::optional<std::u16string> current = fingerprint.ComputeDocumentFingerprint();
  ForEachSealAnnotation(document, [&](int pageIndex, qp_annot annotation) {
    SealRecordText record = SealAnnotationReader(annotation);
    if (record.state == RecordState::None) return;
    SealVerdict seal;
    seal.form = SealForm::SealAnnotation;
    seal.pageIndex = pageIndex;
    seal.objectNumber = AnnotationObjectNumber(annotation);
    seal.recordState = record.state;
    seal.record = std::move(record.text);
    seal.valid = current.has_value() && !current->empty() && seal.record.find(*current) != std::u16string::npos;
    examination.seals.push_back(std::move(seal));
  });
  return examination;
}

std::u16string VerificationResultText(int valid, int invalid) {
  using platform::text::Widen;
  return u"印章总数:" + Widen(std::to_string(valid + invalid)) + u" 有效:" + Widen(std::to_string(valid)) +
         u" 失效:" + Widen(std::to_string(invalid));
}

int VerifySignatureFields(qp_engine engine, std::u16string_view path, int row, std::u16string& resultText,
                          const RowOutcome& outcome) {
  return VerifyWith(&ExamineSignatureFields, engine, path, row, resultText, outcome);
}

int VerifySealAnnotations(qp_engine engine, std::u16string_view path, int row, std::u16string& resultText,
                          const RowOutcome& outcome) {
  return VerifyWith(&ExamineSealAnnotations, engine, path, row, resultText, outcome);
}

}  // namespace sealrun::verify
