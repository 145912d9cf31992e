#include "verify/RevisionHistory.h"

namespace sealrun::verify {

RevisionHistory::RevisionHistory(qp_document document) : document_(document) {
  count_ = qp_document_revision_count(document);
}

int RevisionHistory::AddedIn(int objectNumber) const {
  if (!Known() || objectNumber <= 0) return kUnknownRevision;
  return qp_document_object_revision(document_, objectNumber, QP_REVISION_ADDED);
}

int RevisionHistory::DefinedIn(int objectNumber) const {
  if (!Known() || objectNumber <= 0) return kUnknownRevision;
  return qp_document_object_revision(document_, objectNumber, QP_REVISION_DEFINED);
}

int RevisionHistory::SignedBy(qp_signature signature) const {
  if (!Known()) return kUnknownRevision;
  int64_t range[4] = {};
  if (qp_signature_get_byte_range(signature, range) != QP_OK || range[2] < 0 || range[3] < 0) return kUnknownRevision;
  return qp_document_revision_ending_at(document_, range[2] + range[3]);
}

bool RevisionHistory::ObjectsWrittenAfter(int revision, std::map<int, int>& objects) const {
  objects.clear();
  if (!Known()) return false;
  std::vector<int> numbers;
  for (int later = revision + 1; later <= Newest(); ++later) {
    int count = 0;
    if (qp_document_revision_objects(document_, later, nullptr, &count) != QP_OK) return false;
    numbers.resize(static_cast<std::size_t>(count));
    if (count > 0 && qp_document_revision_objects(document_, later, numbers.data(), &count) != QP_OK) return false;
    for (const int number : numbers) objects[number] = later;
  }
  return true;
}

qp_document RevisionHistory::At(int revision) {
  if (!Known() || revision < 0 || revision > Newest()) return nullptr;
  // A revision that does not open is asked for once; it stays null.
  const auto [held, first] = opened_.try_emplace(revision);
  if (first) {
    qp_document opened = nullptr;
    const int result = qp_document_open_revision(document_, revision, &opened);
    held->second.reset(opened);
    if (result != QP_OK) held->second.reset();
  }
  return held->second.get();
}

qp_document RevisionHistory::Saved() {
  if (qp_document_has_unsaved_changes(document_) == 0) return document_;
  return At(Newest());
}

}  // namespace sealrun::verify
