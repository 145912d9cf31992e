#pragma once
// The comparison behind FindLaterChanges, shared by the files that hold its parts: ChangeAnalysis.cpp (the
// objects' states, recording, and what is left at the end), DocumentChanges.cpp (trailer, catalog, form),
// PageChanges.cpp (page tree, pages, annotation lists, annotations, fields) and ObjectRoles.cpp (what an
// earlier object was for, when nothing simpler tells).
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "verify/CosReading.h"
#include "verify/LaterChanges.h"

namespace sealrun::verify {

class ChangeAnalysis {
 public:
  // `before` is the document as it stood in the seal's revision, `now` as saved; `written` maps each
  // object a later revision wrote to the newest such revision.
  ChangeAnalysis(RevisionHistory& history, int revision, qp_document before, qp_document now,
                 std::map<int, int> written, const SealObjects& seal);

  std::vector<LaterChange> Run();

 private:
  enum class State { Same, Added, Removed, Changed };

  // ChangeAnalysis.cpp
  State StateOf(int number);
  CosHandle Before(int number) const { return CosHandle(qp_document_object(before_, number)); }
  CosHandle Now(int number) const { return CosHandle(qp_document_object(now_, number)); }
  // Two entries of the same place (either may be null): references to objects no later revision wrote are
  // the same without reading them.
  bool SameEntry(qp_cos before, qp_cos now);
  std::vector<std::string> DifferingKeys(qp_cos before, qp_cos now);
  void Record(ChangeKind kind, int page, int object);
  void RecordAddition(ChangeKind kind, int page, int object, int container);
  void Settle(int number) { settled_.insert(number); }
  void SettleEntry(qp_cos value);
  bool IsSettled(int number) const { return settled_.count(number) != 0; }
  bool IsSeal(int number) const { return number > 0 && seal_.count(number) != 0; }
  int WrittenIn(int number) const;
  void ReportRemovedLaterSeals();

  // DocumentChanges.cpp
  void CompareTrailer();
  void CompareCatalog(qp_cos before, qp_cos now);
  void CompareCatalogEntry(const std::string& key, qp_cos before, qp_cos now);
  void CompareForm(qp_cos before, qp_cos now, int form);
  void CompareFieldLists(qp_cos before, qp_cos now);
  void SettleWrittenBelow(qp_cos root, int depth);
  const std::set<int>& FieldObjectsBefore();

  // PageChanges.cpp
  bool ComparePageObject(int number);
  void ComparePageDict(int number, int page);
  void ComparePageTree(int object);
  void CompareAnnotationList(int page, qp_cos before, qp_cos now, int container);
  ChangeKind AdditionKind(qp_cos annotation);
  bool CompareAnnotationObject(int number);
  void CompareAnnotationDict(int number, int page, bool field);
  bool CompareFieldObject(int number);
  bool CompareAnnotationArray(int number);
  int PageBefore(qp_cos annotation);

  // ObjectRoles.cpp
  void ClassifyByRole(const std::vector<int>& numbers);

  RevisionHistory& history_;
  int revision_;  // the seal's
  qp_document before_;
  qp_document now_;
  std::map<int, int> written_;
  const SealObjects& seal_;
  std::map<int, State> states_;
  std::set<int> settled_;
  std::set<int> reached_;  // new objects found added (so not left behind by a removal)
  std::optional<std::set<int>> fieldObjectsBefore_;
  bool pageTreeCompared_ = false;
  std::vector<LaterChange> changes_;
};

}  // namespace sealrun::verify
