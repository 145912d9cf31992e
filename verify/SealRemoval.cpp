#include "verify/SealRemoval.h"

#include "external/QpHandles.h"
#include "verify/DocumentVerification.h"
#include "verify/KeySerial.h"
#include "verify/SealDiscovery.h"

namespace sealrun::verify {

namespace {

using external::DocumentHandle;
using external::LoadPage;
using external::OpenDocument;
using external::PageHandle;

// A file that kept its seal joins the run's failed rows.
RemovalResult Report(RemovalResult result, int row, const RowOutcome& outcome) {
  if (!result) outcome.Fail(row, result.RowHighlight());
  return result;
}

// Saves after the seal was taken out.
RemovalResult Save(qp_document document) {
  // Not written (a read-only file, a full disk): the seal is still there.
  if (const int saved = qp_document_save(document); saved != QP_OK) return {RemovalFailure::NotSaved, saved};
  return {};
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

RemovalResult NotOwned(Ownership ownership) {
  switch (ownership) {
    case Ownership::OtherCertificate: return RemovalFailure::OtherCertificate;
    case Ownership::MakerUnknown: return RemovalFailure::MakerUnknown;
    default: return RemovalFailure::OtherOwner;
  }
}

RemovalResult RemoveLatestField(qp_document document, const SealOwner& owner) {
  const int latest = LatestSignatureObjectNumber(document);
  qp_field chosen = nullptr;
  Ownership ownership = Ownership::OtherKey;
  if (latest > 0) {
    ForEachSignedField(document, [&](qp_field field, qp_signature signature) {
      if (chosen != nullptr || qp_signature_get_obj_num(signature) != latest) return;
      chosen = field;
      ownership = SignatureFieldOwnership(signature, SignatureFieldReader(field), owner);
    });
  }
  if (chosen == nullptr) return RemovalFailure::NoSeal;
  if (ownership != Ownership::Owner) return NotOwned(ownership);
  // The field is deleted after the walk, so no signature object of the walk outlives its field.
  if (!RemoveField(document, chosen)) return RemovalFailure::NotDeleted;
  return Save(document);
}

RemovalResult RemoveLatestAnnotation(qp_document document, const SealOwner& owner) {
  const auto latest = FindLatestSealAnnotation(document);
  if (!latest) return RemovalFailure::NoSeal;
  const PageHandle page = LoadPage(document, latest->pageIndex);
  for (qp_annot annotation = page ? qp_page_load_annots(page.get()) : nullptr; annotation != nullptr;
       annotation = qp_annot_next(annotation)) {
    if (!IsSealAnnotation(annotation) || AnnotationObjectNumber(annotation) != latest->objectNumber) continue;
    const SealRecordText record = SealAnnotationReader(annotation);
    if (record.state != RecordState::Readable) return RemovalFailure::RecordUnreadable;
    if (const Ownership ownership = SealAnnotationOwnership(annotation, record.text, owner); ownership != Ownership::Owner)
      return NotOwned(ownership);
    // The handle is gone after the delete: the walk stops here.
    if (qp_annot_delete(annotation) != QP_OK) return RemovalFailure::NotDeleted;
    return Save(document);
  }
  // Found by its number, but no longer on its page: nothing was taken out.
  return RemovalFailure::NotDeleted;
}

}  // namespace

bool RecordBelongsTo(std::u16string_view record, std::u16string_view ownerSerial) {
  return RecordNamesKey(record, ownerSerial);
}

RemovalResult RemoveLatestSignatureField(qp_engine engine, std::u16string_view path, int row, const SealOwner& owner,
                                         const RowOutcome& outcome) {
  const external::FileTimeBudget budget(engine);
  const DocumentHandle document = OpenDocument(engine, path);
  if (!document) return Report(RemovalFailure::NotOpened, row, outcome);
  return Report(RemoveLatestField(document.get(), owner), row, outcome);
}

RemovalResult RemoveLatestSealAnnotation(qp_engine engine, std::u16string_view path, int row, const SealOwner& owner,
                                         const RowOutcome& outcome) {
  const external::FileTimeBudget budget(engine);
  const DocumentHandle document = OpenDocument(engine, path);
  if (!document) return Report(RemovalFailure::NotOpened, row, outcome);
  return Report(RemoveLatestAnnotation(document.get(), owner), row, outcome);
}

}  // namespace sealrun::verify
