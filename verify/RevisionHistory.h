#pragma once
// The revisions of an opened document as its file holds them (each incremental update one revision, 0 the
// file as first written), and the document as it stood at each of them. A seal is judged against the
// revision it was added in; the comparison reads the document as saved, never changes made in memory since.
#include <map>
#include <vector>

#include "external/QpHandles.h"

namespace sealrun::verify {

inline constexpr int kUnknownRevision = -1;

class RevisionHistory {
 public:
  // Borrows the document; it must outlive the history.
  explicit RevisionHistory(qp_document document);
  RevisionHistory(const RevisionHistory&) = delete;
  RevisionHistory& operator=(const RevisionHistory&) = delete;

  // False when the file does not tell its revisions soundly (a rebuilt cross-reference, say): then every
  // seal is judged against the document as it is.
  bool Known() const { return count_ > 0; }
  int Newest() const { return count_ - 1; }

  // The revision the object was added in: the oldest from which on it is in use in every revision.
  int AddedIn(int objectNumber) const;
  // The newest revision that wrote the object (or freed it).
  int DefinedIn(int objectNumber) const;
  // The revision a signature signs: the one its byte range ends with.
  int SignedBy(qp_signature signature) const;
  // The objects written by the revisions after `revision`, ascending, with the newest revision that wrote
  // each; empty when the engine cannot list them (and false).
  bool ObjectsWrittenAfter(int revision, std::map<int, int>& objects) const;

  // The document as it stood at `revision`, opened once and kept; null when it does not read on its own.
  qp_document At(int revision);
  // The document as saved: the document itself, or the newest revision opened anew when it holds changes
  // made in memory (such as page identifiers the fingerprint added).
  qp_document Saved();
  qp_document Current() const { return document_; }

 private:
  qp_document document_;
  int count_ = 0;
  std::map<int, external::DocumentHandle> opened_;
};

}  // namespace sealrun::verify
