#include "verify/DocumentVerification.h"

#include <algorithm>
#include <optional>

#include "external/QpHandles.h"
#include "verify/DocumentFingerprint.h"
#include "verify/RevisionVerdict.h"
#include "verify/SignerChecks.h"

namespace sealrun::verify {

namespace {

using Examiner = DocumentExamination (*)(qp_document, const SignerTrust&);

VerificationResult Examine(Examiner examine, qp_engine engine, std::u16string_view path, const SignerTrust& trust) {
  const external::FileTimeBudget budget(engine);
  const external::DocumentHandle document = external::OpenDocument(engine, path);
  if (!document) return VerificationResult::NotOpened();
  const DocumentExamination examination = examine(document.get(), trust);
  // Counts over part of a document must not pass for the whole: it reads as a document that cannot be opened.
  if (!examination.complete) return VerificationResult::NotReadInFull();
  return VerificationResult::Examined(examination.Valid(), examination.Invalid());
}

VerificationResult VerifyWith(Examiner examine, qp_engine engine, std::u16string_view path, int row,
                              const RowOutcome& outcome, const SignerTrust& trust) {
  const VerificationResult result = Examine(examine, engine, path, trust);
  if (result.Failed()) outcome.Fail(row, result.RowHighlight());
  return result;
}

}  // namespace

int DocumentExamination::Valid() const {
  return static_cast<int>(std::count_if(seals.begin(), seals.end(), [](const SealVerdict& seal) { return seal.valid; }));
}

int DocumentExamination::Invalid() const { return static_cast<int>(seals.size()) - Valid(); }

DocumentExamination ExamineSignatureFields(qp_document document, const SignerTrust& trust) {
  DocumentExamination examination;
  RevisionHistory history(document);
  ForEachSignedField(document, [&examination, &history, &trust](qp_field field, qp_signature signature) {
    SealVerdict seal;
    seal.form = SealForm::SignatureField;
    seal.pageIndex = qp_field_get_page_num(field);
    seal.objectNumber = qp_signature_get_obj_num(signature);
    seal.record = SignatureFieldReader(field);
    seal.recordState = seal.record.empty() ? RecordState::None : RecordState::Readable;
    qp_certificate rawCertificate = nullptr;
    const int signatureResult = qp_signature_verify(signature, &rawCertificate);
    const external::CertificateHandle certificate(rawCertificate);
    JudgeSignatureField(seal, signature, signatureResult, history);
    CheckSignatureFieldSigner(signature, signatureResult, certificate.get(), trust, seal);
    examination.seals.push_back(std::move(seal));
  });
  return examination;
}

DocumentExamination ExamineSealAnnotations(qp_document document, const SignerTrust& trust) {
  DocumentExamination examination;
  // Taken before any seal is read; a fingerprint over part of the document matches no seal.
  DocumentFingerprint fingerprint(document);
  const std::optional<std::u16string> current = fingerprint.ComputeDocumentFingerprint();
  RevisionHistory history(document);
  RevisionFingerprints fingerprints(history);
  examination.complete = ForEachSealAnnotation(document, [&](int pageIndex, qp_annot annotation) {
    SealRecordText record = SealAnnotationReader(annotation);
    if (record.state == RecordState::None) return;
    SealVerdict seal;
    seal.form = SealForm::SealAnnotation;
    seal.pageIndex = pageIndex;
    seal.objectNumber = AnnotationObjectNumber(annotation);
    seal.recordState = record.state;
    seal.record = std::move(record.text);
    JudgeSealAnnotation(seal, history, fingerprints, current);
    CheckSealAnnotationSigner(annotation, trust, seal);
    examination.seals.push_back(std::move(seal));
  });
  return examination;
}

VerificationResult VerifySignatureFieldsOf(qp_engine engine, std::u16string_view path, const SignerTrust& trust) {
  return Examine(&ExamineSignatureFields, engine, path, trust);
}

VerificationResult VerifySealAnnotationsOf(qp_engine engine, std::u16string_view path, const SignerTrust& trust) {
  return Examine(&ExamineSealAnnotations, engine, path, trust);
}

VerificationResult VerifySignatureFields(qp_engine engine, std::u16string_view path, int row,
                                         const RowOutcome& outcome, const SignerTrust& trust) {
  return VerifyWith(&ExamineSignatureFields, engine, path, row, outcome, trust);
}

VerificationResult VerifySealAnnotations(qp_engine engine, std::u16string_view path, int row,
                                         const RowOutcome& outcome, const SignerTrust& trust) {
  return VerifyWith(&ExamineSealAnnotations, engine, path, row, outcome, trust);
}

}  // namespace sealrun::verify
