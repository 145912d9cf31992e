#include "verify/RevisionVerdict.h"

#include <algorithm>
#include <vector>

#include "verify/CosReading.h"
#include "verify/DocumentFingerprint.h"
#include "verify/LegacyDocumentFingerprint.h"

namespace sealrun::verify {

namespace {

constexpr int kMaxFieldDepth = 32;

bool Contains(const std::u16string& record, const std::optional<std::u16string>& fingerprint) {
  return fingerprint && !fingerprint->empty() && record.find(*fingerprint) != std::u16string::npos;
}

// The later changes since the seal's revision; an analysis that cannot be made leaves the revision unknown.
void FindChanges(SealVerdict& seal, RevisionHistory& history, const SealObjects& objects) {
  if (seal.revision == kUnknownRevision) return;
  auto changes = FindLaterChanges(history, seal.revision, objects);
  if (!changes) {
    seal.revision = kUnknownRevision;
    return;
  }
  seal.changes = std::move(*changes);
  if (std::any_of(seal.changes.begin(), seal.changes.end(), [](const LaterChange& change) { return !change.allowed; }))
    seal.findings.push_back(Finding::DisallowedChange);
}

bool HasFinding(const SealVerdict& seal, Finding finding) {
  return std::find(seal.findings.begin(), seal.findings.end(), finding) != seal.findings.end();
}

}  // namespace

std::optional<std::u16string> RevisionFingerprints::Of(int revision) {
  if (const auto taken = taken_.find(revision); taken != taken_.end()) return taken->second;
  std::optional<std::u16string> fingerprint;
  qp_document opened = nullptr;
  const int result = qp_document_open_revision(history_.Current(), revision, &opened);
  const external::DocumentHandle document(opened);
  if (result == QP_OK) {
    DocumentFingerprint computation(document.get());
    fingerprint = computation.ComputeDocumentFingerprint(document.get());
  }
  taken_.emplace(revision, fingerprint);
  return fingerprint;
}

std::optional<std::u16string> RevisionFingerprints::EarlierReleaseOf(int revision) {
  if (const auto taken = earlier_.find(revision); taken != earlier_.end()) return taken->second;
  std::optional<std::u16string> fingerprint;
  if (revision == kUnknownRevision || revision >= history_.Newest()) {
    fingerprint = LegacyDocumentFingerprint(history_.Current());
  } else {
    qp_document opened = nullptr;
    const int result = qp_document_open_revision(history_.Current(), revision, &opened);
    const external::DocumentHandle document(opened);
    if (result == QP_OK) fingerprint = LegacyDocumentFingerprint(document.get());
  }
  earlier_.emplace(revision, fingerprint);
  return fingerprint;
}

void JudgeSealAnnotation(SealVerdict& seal, RevisionHistory& history, RevisionFingerprints& fingerprints,
                         const std::optional<std::u16string>& current) {
  seal.revision = history.Known() ? history.AddedIn(seal.objectNumber) : kUnknownRevision;
  FindChanges(seal, history, SealObjects{seal.objectNumber});
  bool fingerprintHeld = false;
  if (seal.recordState != RecordState::Readable) {
    seal.findings.push_back(Finding::RecordUnreadable);
  } else if (Contains(seal.record, current)) {
    fingerprintHeld = true;
  } else if (seal.revision != kUnknownRevision && seal.revision < history.Newest()) {
    // Allowed later changes can change the fingerprint (a signature widget kept apart from its field is fed
    // to it): the record holds the one of the revision the seal was added in.
    const std::optional<std::u16string> then = fingerprints.Of(seal.revision);
    fingerprintHeld = Contains(seal.record, then);
    if (!fingerprintHeld)
      seal.findings.push_back(then ? Finding::FingerprintMismatch : Finding::FingerprintUnavailable);
  } else {
    seal.findings.push_back(current ? Finding::FingerprintMismatch : Finding::FingerprintUnavailable);
  }
  // Seals made by the earlier release store its fingerprint; such a seal holds when that one matches.
  if (!fingerprintHeld && seal.recordState == RecordState::Readable &&
      Contains(seal.record, fingerprints.EarlierReleaseOf(seal.revision))) {
    fingerprintHeld = true;
    seal.findings.erase(std::remove_if(seal.findings.begin(), seal.findings.end(),
                                       [](Finding finding) {
                                         return finding == Finding::FingerprintMismatch ||
                                                finding == Finding::FingerprintUnavailable;
                                       }),
                        seal.findings.end());
    seal.findings.push_back(Finding::NoteEarlierFingerprint);
  }
  seal.valid = fingerprintHeld && !HasFinding(seal, Finding::DisallowedChange);
}

void JudgeSignatureField(SealVerdict& seal, qp_signature signature, int signatureResult, RevisionHistory& history) {
  seal.revision = history.Known() ? history.SignedBy(signature) : kUnknownRevision;
  FindChanges(seal, history, SignatureFieldObjects(history.Current(), seal.objectNumber));
  // A document timestamp's token that does not verify is named as such by the signer checks.
  if (signatureResult != QP_OK && qp_signature_is_document_timestamp(signature) != 1)
    seal.findings.push_back(Finding::SignatureInvalid);
  if (seal.revision == kUnknownRevision) {
    // The engine's own comparison of the signed bytes' pages with the document's.
    int changed = 1;
    if (qp_signature_verify_page_contents(signature, &changed) != QP_OK || changed != 0)
      seal.findings.push_back(Finding::DisallowedChange);
  }
  seal.valid = signatureResult == QP_OK && !HasFinding(seal, Finding::DisallowedChange);
}

SealObjects SignatureFieldObjects(qp_document document, int signatureNumber) {
  SealObjects objects{signatureNumber};
  const CosHandle trailer(qp_document_trailer(document));
  const CosHandle form = Entry(Entry(trailer.get(), "Root").get(), "AcroForm");
  std::vector<std::pair<CosHandle, int>> pending;
  for (auto& field : ItemsOf(Entry(form.get(), "Fields").get())) pending.emplace_back(std::move(field), 0);
  while (!pending.empty()) {
    auto [field, depth] = std::move(pending.back());
    pending.pop_back();
    auto kids = ItemsOf(Entry(field.get(), "Kids").get());
    if (NumberOf(Entry(field.get(), "V").get()) == signatureNumber) {
      objects.insert(NumberOf(field.get()));
      for (const auto& kid : kids) objects.insert(NumberOf(kid.get()));
    }
    if (depth >= kMaxFieldDepth) continue;
    for (auto& kid : kids) pending.emplace_back(std::move(kid), depth + 1);
  }
  objects.erase(0);
  return objects;
}

}  // namespace sealrun::verify
