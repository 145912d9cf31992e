#include "verify/SealRemoval.h"

#include "external/QpHandles.h"
#include "verify/DocumentVerification.h"
#include "verify/SealDiscovery.h"

namespace sealrun::verify {

namespace {

using external::DocumentHandle;
using external::LoadPage;
using external::OpenDocument;
using external::PageHandle;

// Saves when something was removed and reports the file's outcome.
int Finish(qp_document document, bool removed, int row, const RowOutcome& outcome) {
  if (!removed) {
    outcome.Fail(row, Highlight::Yes);
    return kNothingRemoved;
  }
  if (const int saved = qp_document_save(document); saved != QP_OK) {
    // Not written (a read-only file, a full disk): the seal is still there.
    outcome.Fail(row, Highlight::Yes);
    return saved;
  }
  return kSealRemoved;
}

bool RemoveField(qp_document document, qp_field field) {
  const int pageIndex = qp_field_get_page_num(field);
  if (pageIndex >= 0) {
    const PageHandle page = LoadPage(document, pageIndex);
    if (!page) return false;
    if (qp_annot widget = qp_page_lookup_annotation(page.get(), field); widget != nullptr) {
      if (qp_annot_delete(widget) != QP_OK) return false;
    }
  }
  if (qp_field_delete(field) != QP_OK) return false;
  if (pageIndex >= 0) qp_document_update_page(document, pageIndex, 0);
  return true;
}

}  // namespace

bool RecordBelongsTo(std::u16string_view record, std::u16string_view ownerSerial) {
  return !ownerSerial.empty() && record.find(ownerSerial) != std::u16string_view::npos;
}

int RemoveLatestSignatureField(qp_engine engine, std::u16string_view path, int row, std::u16string_view ownerSerial,
                               const RowOutcome& outcome) {
  const DocumentHandle document = OpenDocument(engine, path);
  if (!document) {
    outcome.Fail(row, Highlight::No);
    return kDocumentOpenFailed;
  }
  const int latest = LatestSignatureObjectNumber(document.get());
  qp_field chosen = nullptr;
  if (latest > 0) {
    ForEachSignedField(document.get(), [&](qp_field field, qp_signature signature) {
      if (chosen == nullptr && qp_signature_get_obj_num(signature) == latest) chosen = field;
    });
  }
  // The field is deleted after the walk, so no signature object of the walk outlives its field.
  const bool removed = chosen != nullptr && RecordBelongsTo(SignatureFieldReader(chosen), ownerSerial) &&
                       RemoveField(document.get(), chosen);
  return Finish(document.get(), removed, row, outcome);
}

int RemoveLatestSealAnnotation(qp_engine engine, std::u16string_view path, int row, std::u16string_view ownerSerial,
                               const RowOutcome& outcome) {
  const DocumentHandle document = OpenDocument(engine, path);
  if (!document) {
    outcome.Fail(row, Highlight::No);
    return kDocumentOpenFailed;
  }
  bool removed = false;
  if (const auto latest = FindLatestSealAnnotation(document.get())) {
    const PageHandle page = LoadPage(document.get(), latest->pageIndex);
    for (qp_annot annotation = page ? qp_page_load_annots(page.get()) : nullptr; annotation != nullptr && !removed;
         annotation = qp_annot_next(annotation)) {
      if (!IsSealAnnotation(annotation) || AnnotationObjectNumber(annotation) != latest->objectNumber) continue;
      const SealRecordText record = SealAnnotationReader(annotation);
      if (record.state != RecordState::Readable || !RecordBelongsTo(record.text, ownerSerial)) continue;
      // The handle is gone after the delete: the walk stops here.
      removed = qp_annot_delete(annotation) == QP_OK;
      break;
    }
  }
  return Finish(document.get(), removed, row, outcome);
}

}  // namespace sealrun::verify
