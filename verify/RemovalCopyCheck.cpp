#include "verify/RemovalCopyCheck.h"

#include <algorithm>

#include "external/QpHandles.h"
#include "verify/DocumentVerification.h"
#include "verify/SealDiscovery.h"

namespace sealrun::verify {
namespace {

using external::DocumentHandle;
using external::LoadPage;
using external::OpenDocument;
using external::PageHandle;

DocumentExamination Examine(qp_document document, config::SealForm form) {
  return form == config::SealForm::SignatureField ? ExamineSignatureFields(document) : ExamineSealAnnotations(document);
}

// The newest revision's end, or -1 when the revisions are unknown.
std::int64_t NewestRevisionEnd(qp_document document, int revisions) {
  std::int64_t end = -1;
  if (revisions <= 0 || qp_document_revision_end(document, revisions - 1, &end) != QP_OK) return -1;
  return end;
}

// Its own page first; a file may list one annotation on several pages, and it must be off every one.
bool AnnotationOnAnyPage(qp_document document, int pageIndex, int objectNumber) {
  if (objectNumber <= 0) return false;
  const int pages = qp_page_count(document);
  for (int step = -1; step < pages; ++step) {
    const int index = step < 0 ? pageIndex : step;
    if (index < 0 || (step >= 0 && index == pageIndex)) continue;
    const PageHandle page = LoadPage(document, index);
    for (qp_annot annotation = page ? qp_page_load_annots(page.get()) : nullptr; annotation != nullptr;
         annotation = qp_annot_next(annotation))
      if (external::AnnotationObjectNumber(annotation) == objectNumber) return true;
  }
  return false;
}

bool SignatureStillSigned(qp_document document, int signatureNumber) {
  bool found = false;
  ForEachSignedField(document, [&](qp_field, qp_signature signature) {
    found = found || qp_signature_get_obj_num(signature) == signatureNumber;
  });
  return found;
}

// Exactly one update after the file's bytes: the copy's next-to-newest revision ends where the file did.
bool OneUpdateAppended(qp_document copy, const RemovalBefore& before) {
  if (before.revisions <= 0 || before.fileEnd <= 0) return false;
  const int revisions = qp_document_revision_count(copy);
  if (revisions != before.revisions + 1) return false;
  std::int64_t end = -1;
  return qp_document_revision_end(copy, before.revisions - 1, &end) == QP_OK && end == before.fileEnd;
}

bool EarlierSealsHold(qp_document copy, const RemovalBefore& before) {
  const DocumentExamination now = Examine(copy, before.form);
  return std::all_of(before.validSeals.begin(), before.validSeals.end(), [&now](int number) {
    return std::any_of(now.seals.begin(), now.seals.end(),
                       [number](const SealVerdict& seal) { return seal.objectNumber == number && seal.valid; });
  });
}

}  // namespace

RemovalBefore DescribeBeforeRemoval(qp_engine engine, qp_document document, std::u16string_view path,
                                    config::SealForm form, const RemovedSeal& removed) {
  RemovalBefore before;
  before.form = form;
  before.revisions = qp_document_revision_count(document);
  before.fileEnd = NewestRevisionEnd(document, before.revisions);
  before.removed = removed;
  const DocumentHandle file = OpenDocument(engine, path);
  if (!file) return before;
  for (const SealVerdict& seal : Examine(file.get(), form).seals)
    if (seal.valid && seal.objectNumber != removed.seal) before.validSeals.push_back(seal.objectNumber);
  return before;
}

CopyFault CheckRemovalCopy(qp_engine engine, std::u16string_view copyPath, const RemovalBefore& before) {
  const DocumentHandle copy = OpenDocument(engine, copyPath);
  if (!copy) return CopyFault::Unreadable;
  if (!OneUpdateAppended(copy.get(), before)) return CopyFault::NotOneUpdate;
  if (AnnotationOnAnyPage(copy.get(), before.removed.page, before.removed.annotation)) return CopyFault::SealStillThere;
  if (before.form == config::SealForm::SignatureField && SignatureStillSigned(copy.get(), before.removed.seal))
    return CopyFault::SealStillThere;
  if (!EarlierSealsHold(copy.get(), before)) return CopyFault::EarlierSealLost;
  return CopyFault::None;
}

}  // namespace sealrun::verify
