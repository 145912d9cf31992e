#include "verify/ChangeAnalysis.h"

#include <algorithm>
#include <tuple>

#include "verify/PdfNames.h"

namespace sealrun::verify {

ChangeAnalysis::ChangeAnalysis(RevisionHistory& history, int revision, qp_document before, qp_document now,
                               std::map<int, int> written, const SealObjects& seal)
    : history_(history), revision_(revision), before_(before), now_(now), written_(std::move(written)), seal_(seal) {}

ChangeAnalysis::State ChangeAnalysis::StateOf(int number) {
  if (number <= 0 || written_.count(number) == 0) return State::Same;
  if (const auto known = states_.find(number); known != states_.end()) return known->second;
  const CosHandle before = Before(number);
  const CosHandle now = Now(number);
  State state = State::Same;
  if (before == nullptr && now != nullptr) state = State::Added;
  if (before != nullptr && now == nullptr) state = State::Removed;
  // Anything the engine cannot compare counts as changed.
  if (before != nullptr && now != nullptr && qp_cos_same(before.get(), now.get()) != 1) state = State::Changed;
  states_[number] = state;
  return state;
}

bool ChangeAnalysis::SameEntry(qp_cos before, qp_cos now) {
  const bool absentBefore = before == nullptr || qp_cos_is_null(before);
  const bool absentNow = now == nullptr || qp_cos_is_null(now);
  if (absentBefore || absentNow) return absentBefore && absentNow;
  const int numberBefore = qp_cos_is_indirect(before) ? NumberOf(before) : 0;
  const int numberNow = qp_cos_is_indirect(now) ? NumberOf(now) : 0;
  if (numberBefore > 0 && numberBefore == numberNow) return StateOf(numberBefore) == State::Same;
  return qp_cos_same(before, now) == 1;
}

std::vector<std::string> ChangeAnalysis::DifferingKeys(qp_cos before, qp_cos now) {
  std::vector<std::string> keys = KeysOf(before);
  for (auto& key : KeysOf(now))
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(std::move(key));
  std::vector<std::string> differing;
  for (auto& key : keys)
    if (!SameEntry(Entry(before, key.c_str()).get(), Entry(now, key.c_str()).get()))
      differing.push_back(std::move(key));
  return differing;
}

int ChangeAnalysis::WrittenIn(int number) const {
  const auto found = written_.find(number);
  return found != written_.end() ? found->second : history_.Newest();
}

void ChangeAnalysis::Record(ChangeKind kind, int page, int object) {
  LaterChange change;
  change.kind = kind;
  change.revision = WrittenIn(object);
  change.pageIndex = page;
  change.objectNumber = object;
  change.allowed = IsAllowedChange(kind);
  for (const auto& known : changes_)
    if (known.kind == kind && known.pageIndex == page && known.objectNumber == object) return;
  changes_.push_back(change);
}

void ChangeAnalysis::RecordAddition(ChangeKind kind, int page, int object, int container) {
  Record(kind, page, object);
  // An addition dates from the revision that added the object, whatever later ones did to it; an object
  // that was there already was added where the list that names it was written.
  const int added = history_.AddedIn(object);
  const int revision = added > revision_ ? added : WrittenIn(container);
  for (auto& change : changes_)
    if (change.kind == kind && change.objectNumber == object && change.pageIndex == page) change.revision = revision;
}

void ChangeAnalysis::SettleEntry(qp_cos value) {
  if (value != nullptr && qp_cos_is_indirect(value)) Settle(NumberOf(value));
}

void ChangeAnalysis::ReportRemovedLaterSeals() {
  for (const auto& [number, revision] : written_) {
    if (IsSettled(number) || reached_.count(number) != 0 || StateOf(number) != State::Added) continue;
    const CosHandle object = Now(number);
    if (!LooksLikeAnnotation(object.get())) continue;
    // Left behind by the removal run: added after the seal, no longer on any page.
    const bool seal = NameAt(object.get(), "Subtype") == kSealSubtype;
    if (seal || IsSignatureField(object.get())) Record(ChangeKind::LaterSealRemoved, -1, number);
  }
}

std::vector<LaterChange> ChangeAnalysis::Run() {
  std::vector<int> touched;  // changed or removed since the seal's revision
  for (const auto& [number, revision] : written_) {
    const State state = StateOf(number);
    if (state == State::Changed || state == State::Removed) touched.push_back(number);
  }
  CompareTrailer();
  std::vector<int> leftovers;
  for (const int number : touched) {
    if (IsSettled(number)) continue;
    if (ComparePageObject(number) || CompareAnnotationObject(number) || CompareFieldObject(number) ||
        CompareAnnotationArray(number))
      continue;
    const CosHandle before = Before(number);
    const std::string_view type = NameAt(before.get(), "Type");
    // Object streams and cross-reference streams only carry other objects, which are compared themselves.
    if (type == "ObjStm" || type == "XRef") continue;
    leftovers.push_back(number);
  }
  if (!leftovers.empty()) ClassifyByRole(leftovers);
  ReportRemovedLaterSeals();
  // A field met both in the form and on its page is told once, with its page.
  std::set<std::pair<ChangeKind, int>> onPages;
  for (const auto& change : changes_)
    if (change.pageIndex >= 0) onPages.emplace(change.kind, change.objectNumber);
  std::erase_if(changes_, [&onPages](const LaterChange& change) {
    return change.pageIndex < 0 && change.objectNumber > 0 && onPages.count({change.kind, change.objectNumber}) != 0;
  });
  std::sort(changes_.begin(), changes_.end(), [](const LaterChange& a, const LaterChange& b) {
    return std::tie(a.revision, a.pageIndex, a.objectNumber, a.kind) <
           std::tie(b.revision, b.pageIndex, b.objectNumber, b.kind);
  });
  return changes_;
}

std::optional<std::vector<LaterChange>> FindLaterChanges(RevisionHistory& history, int revision,
                                                         const SealObjects& seal) {
  if (!history.Known() || revision < 0 || revision > history.Newest()) return std::nullopt;
  if (revision == history.Newest()) return std::vector<LaterChange>{};
  std::map<int, int> written;
  if (!history.ObjectsWrittenAfter(revision, written)) return std::nullopt;
  const qp_document before = history.At(revision);
  const qp_document now = history.Saved();
  if (before == nullptr || now == nullptr) return std::nullopt;
  auto changes = ChangeAnalysis(history, revision, before, now, std::move(written), seal).Run();
  // Reading a damaged object can make the engine rebuild the cross-reference: then nothing above holds.
  if (qp_document_revision_count(history.Current()) != history.Newest() + 1) return std::nullopt;
  return changes;
}

}  // namespace sealrun::verify
