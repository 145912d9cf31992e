// The document-wide part of the comparison: the trailer (document information), the catalog entry by
// entry (page tree, form, metadata, validation data, actions and scripts, optional content) and the form's
// fields.
#include "verify/ChangeAnalysis.h"

namespace sealrun::verify {

namespace {

constexpr int kMaxFieldDepth = 32;
constexpr int kValidationDataDepth = 4;  // /DSS, its lists and /VRI entries, their items

}  // namespace

void ChangeAnalysis::CompareTrailer() {
  const CosHandle before = CosHandle(qp_document_trailer(before_));
  const CosHandle now = CosHandle(qp_document_trailer(now_));
  const CosHandle infoBefore = Entry(before.get(), "Info");
  const CosHandle infoNow = Entry(now.get(), "Info");
  if (!SameEntry(infoBefore.get(), infoNow.get())) {
    Record(ChangeKind::DocumentInformationChanged, -1,
           NumberOf(infoNow.get()) ? NumberOf(infoNow.get()) : NumberOf(infoBefore.get()));
    SettleWrittenBelow(infoBefore.get(), 1);
    SettleWrittenBelow(infoNow.get(), 1);
  }
  const CosHandle rootBefore = Entry(before.get(), "Root");
  const CosHandle rootNow = Entry(now.get(), "Root");
  SettleEntry(rootBefore.get());
  SettleEntry(rootNow.get());
  CompareCatalog(rootBefore.get(), rootNow.get());
}

void ChangeAnalysis::CompareCatalog(qp_cos before, qp_cos now) {
  for (const std::string& key : DifferingKeys(before, now)) {
    const CosHandle entryBefore = Entry(before, key.c_str());
    const CosHandle entryNow = Entry(now, key.c_str());
    SettleEntry(entryBefore.get());
    SettleEntry(entryNow.get());
    CompareCatalogEntry(key, entryBefore.get(), entryNow.get());
  }
}

void ChangeAnalysis::CompareCatalogEntry(const std::string& key, qp_cos before, qp_cos now) {
  const int object = NumberOf(now) ? NumberOf(now) : NumberOf(before);
  const CosHandle trailer(qp_document_trailer(now_));
  const int catalog = NumberOf(Entry(trailer.get(), "Root").get());
  const int where = object ? object : catalog;
  if (key == "AcroForm") {
    CompareForm(before, now, where);
  } else if (key == "Pages") {
    ComparePageTree(where);
  } else if (key == "Metadata") {
    Record(ChangeKind::MetadataChanged, -1, where);
  } else if (key == "DSS") {
    Record(ChangeKind::ValidationDataAdded, -1, where);
    SettleWrittenBelow(before, kValidationDataDepth);
    SettleWrittenBelow(now, kValidationDataDepth);
  } else if (key == "OpenAction" || key == "AA") {
    Record(ChangeKind::DocumentActionChanged, -1, where);
  } else if (key == "OCProperties") {
    Record(ChangeKind::OptionalContentChanged, -1, where);
  } else if (key == "Names") {
    for (const std::string& tree : DifferingKeys(before, now)) {
      Record(tree == "JavaScript" ? ChangeKind::DocumentActionChanged : ChangeKind::Other, -1, where);
      SettleEntry(Entry(before, tree.c_str()).get());
      SettleEntry(Entry(now, tree.c_str()).get());
    }
  } else {
    Record(ChangeKind::Other, -1, where);
  }
}

void ChangeAnalysis::CompareForm(qp_cos before, qp_cos now, int form) {
  for (const std::string& key : DifferingKeys(before, now)) {
    const CosHandle entryBefore = Entry(before, key.c_str());
    const CosHandle entryNow = Entry(now, key.c_str());
    SettleEntry(entryBefore.get());
    SettleEntry(entryNow.get());
    if (key == "Fields") {
      CompareFieldLists(entryBefore.get(), entryNow.get());
    } else if (key != "SigFlags") {
      // The flags only say that signatures are there; anything else of the form changes how fields work.
      Record(ChangeKind::FormChanged, -1, form);
    }
  }
}

void ChangeAnalysis::CompareFieldLists(qp_cos before, qp_cos now) {
  std::set<int> numbersBefore;
  for (const auto& field : ItemsOf(before)) numbersBefore.insert(NumberOf(field.get()));
  std::set<int> numbersNow;
  for (const auto& field : ItemsOf(now)) {
    const int number = NumberOf(field.get());
    numbersNow.insert(number);
    if (number > 0 && numbersBefore.count(number) != 0) continue;
    const CosHandle value = SignatureValueOf(field.get());
    if (IsSignatureField(field.get()) && value != nullptr) {
      const ChangeKind kind =
          IsDocumentTimestamp(value.get()) ? ChangeKind::DocumentTimestampAdded : ChangeKind::SignatureFieldAdded;
      RecordAddition(kind, -1, number, NumberOf(now));
      reached_.insert(number);
      Settle(number);
    } else {
      Record(ChangeKind::FormChanged, -1, number);
    }
  }
  for (const int number : numbersBefore) {
    if (numbersNow.count(number) != 0) continue;
    Record(IsSeal(number) ? ChangeKind::SealChanged : ChangeKind::FormChanged, -1, number);
  }
}

void ChangeAnalysis::SettleWrittenBelow(qp_cos root, int depth) {
  std::set<int> visited;
  std::vector<std::pair<CosHandle, int>> pending;
  const auto visit = [&](qp_cos value, int left) {
    const int number = qp_cos_is_indirect(value) ? NumberOf(value) : 0;
    if (number > 0) {
      if (!visited.insert(number).second) return;
      Settle(number);
      reached_.insert(number);
    }
    if (left <= 0) return;
    if (IsDict(value)) {
      for (const std::string& key : KeysOf(value)) pending.emplace_back(Entry(value, key.c_str()), left - 1);
    } else {
      for (auto& item : ItemsOf(value)) pending.emplace_back(std::move(item), left - 1);
    }
  };
  if (root != nullptr) visit(root, depth);
  while (!pending.empty()) {
    auto [value, left] = std::move(pending.back());
    pending.pop_back();
    if (value != nullptr) visit(value.get(), left);
  }
}

const std::set<int>& ChangeAnalysis::FieldObjectsBefore() {
  if (fieldObjectsBefore_) return *fieldObjectsBefore_;
  fieldObjectsBefore_.emplace();
  const CosHandle trailer(qp_document_trailer(before_));
  const CosHandle form = Entry(Entry(trailer.get(), "Root").get(), "AcroForm");
  std::vector<std::pair<CosHandle, int>> pending;
  for (auto& field : ItemsOf(Entry(form.get(), "Fields").get())) pending.emplace_back(std::move(field), 0);
  while (!pending.empty()) {
    auto [field, depth] = std::move(pending.back());
    pending.pop_back();
    const int number = NumberOf(field.get());
    if (number > 0 && !fieldObjectsBefore_->insert(number).second) continue;
    if (const CosHandle value = Entry(field.get(), "V"); value != nullptr && qp_cos_is_indirect(value.get()))
      fieldObjectsBefore_->insert(NumberOf(value.get()));
    if (depth >= kMaxFieldDepth) continue;
    for (auto& kid : ItemsOf(Entry(field.get(), "Kids").get())) pending.emplace_back(std::move(kid), depth + 1);
  }
  return *fieldObjectsBefore_;
}

}  // namespace sealrun::verify
