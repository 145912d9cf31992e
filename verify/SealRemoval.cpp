#include "verify/SealRemoval.h"

#include <string>

#include "external/QpHandles.h"
#include "platform/text/Utf.h"
#include "verify/DocumentVerification.h"
#include "verify/KeySerial.h"
#include "verify/RemovalCopyCheck.h"
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

// The removal of one opened document, staged: the update goes to a copy beside the file, and the copy
// replaces the file only when the check finds it sound.
struct Removal {
  qp_engine engine;
  std::u16string_view path;
  qp_document document;
};

RemovalResult Fault(CopyFault fault) {
  switch (fault) {
    case CopyFault::Unreadable: return RemovalFailure::CopyUnreadable;
    case CopyFault::NotOneUpdate: return RemovalFailure::CopyNotOneUpdate;
    case CopyFault::SealStillThere: return RemovalFailure::CopySealStillThere;
    case CopyFault::EarlierSealLost: return RemovalFailure::CopyEarlierSealLost;
    case CopyFault::None: break;
  }
  return {};
}

// Saves after the seal was taken out, checks the copy and commits it. Anything short of a commit leaves
// the file as it was (closing the document removes an uncommitted copy).
RemovalResult SaveChecked(const Removal& removal, config::SealForm form, const RemovedSeal& removed) {
  // Taken before the save: afterwards the document reads from the copy.
  const RemovalBefore before = DescribeBeforeRemoval(removal.engine, removal.document, removal.path, form, removed);
  // Not written (a read-only file, a full disk): the seal is still there.
  if (const int saved = qp_document_save(removal.document); saved != QP_OK) return {RemovalFailure::NotSaved, saved};
  const std::string copy = external::StagedCopyPath(removal.document);
  if (copy.empty()) return {RemovalFailure::NotSaved, QP_ERR_SAVE};
  if (const CopyFault fault = CheckRemovalCopy(removal.engine, platform::text::Utf8ToUtf16(copy), before);
      fault != CopyFault::None)
    return Fault(fault);
  if (const int committed = qp_document_commit(removal.document); committed != QP_OK)
    return {RemovalFailure::NotSaved, committed};
  return {};
}

// Takes the field and its widget out; the widget's page and number in `removed`.
bool RemoveField(qp_document document, qp_field field, RemovedSeal& removed) {
  const int pageIndex = qp_field_get_page_num(field);
  if (pageIndex >= 0) {
    const PageHandle page = LoadPage(document, pageIndex);
    if (!page) return false;
    if (qp_annot widget = qp_page_lookup_annotation(page.get(), field); widget != nullptr) {
      removed.page = pageIndex;
      removed.annotation = external::AnnotationObjectNumber(widget);
      if (qp_annot_delete(widget) != QP_OK) return false;
    }
  }
  if (qp_field_delete(field) != QP_OK) return false;
  if (pageIndex >= 0) qp_document_update_page(document, pageIndex, 0);
  return true;
}

// The document with its saves staged, or null when it does not open (or cannot stage, which no file causes).
DocumentHandle OpenStaged(qp_engine engine, std::u16string_view path) {
  DocumentHandle document = OpenDocument(engine, path);
  if (document && qp_document_set_staged(document.get(), 1) != QP_OK) return nullptr;
  return document;
}

RemovalResult NotOwned(Ownership ownership) {
  switch (ownership) {
    case Ownership::OtherCertificate: return RemovalFailure::OtherCertificate;
    case Ownership::MakerUnknown: return RemovalFailure::MakerUnknown;
    default: return RemovalFailure::OtherOwner;
  }
}

RemovalResult RemoveLatestField(const Removal& removal, const SealOwner& owner) {
  qp_document document = removal.document;
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
  RemovedSeal removed{latest};
  if (!RemoveField(document, chosen, removed)) return RemovalFailure::NotDeleted;
  return SaveChecked(removal, config::SealForm::SignatureField, removed);
}

RemovalResult RemoveLatestAnnotation(const Removal& removal, const SealOwner& owner) {
  qp_document document = removal.document;
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
    return SaveChecked(removal, config::SealForm::SealAnnotation,
                       RemovedSeal{latest->objectNumber, latest->pageIndex, latest->objectNumber});
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
  const DocumentHandle document = OpenStaged(engine, path);
  if (!document) return Report(RemovalFailure::NotOpened, row, outcome);
  return Report(RemoveLatestField({engine, path, document.get()}, owner), row, outcome);
}

RemovalResult RemoveLatestSealAnnotation(qp_engine engine, std::u16string_view path, int row, const SealOwner& owner,
                                         const RowOutcome& outcome) {
  const external::FileTimeBudget budget(engine);
  const DocumentHandle document = OpenStaged(engine, path);
  if (!document) return Report(RemovalFailure::NotOpened, row, outcome);
  return Report(RemoveLatestAnnotation({engine, path, document.get()}, owner), row, outcome);
}

}  // namespace sealrun::verify
