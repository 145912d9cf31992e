// The page part of the comparison: the page tree, each page dictionary key by key, the annotation lists
// (what was added, what removed), and annotations and form fields changed in place.
#include <algorithm>

#include "verify/ChangeAnalysis.h"
#include "verify/PdfNames.h"
#include "verify/SealDiscovery.h"

namespace sealrun::verify {

namespace {

bool IsGeometryKey(const std::string& key) {
  return key == "MediaBox" || key == "CropBox" || key == "BleedBox" || key == "TrimBox" || key == "ArtBox" ||
         key == "Rotate" || key == "UserUnit";
}

std::vector<int> PageObjects(qp_document document) {
  int count = 0;
  if (qp_document_page_objects(document, nullptr, &count) != QP_OK) return {};
  std::vector<int> numbers(static_cast<std::size_t>(count));
  if (count > 0 && qp_document_page_objects(document, numbers.data(), &count) != QP_OK) return {};
  return numbers;
}

// The entries of an annotation list by object number; a direct annotation counts by its position.
std::vector<int> ListNumbers(const std::vector<CosHandle>& items) {
  std::vector<int> numbers;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const int number = qp_cos_is_indirect(items[i].get()) ? NumberOf(items[i].get()) : 0;
    numbers.push_back(number > 0 ? number : -static_cast<int>(i) - 1);
  }
  return numbers;
}

bool Contains(const std::vector<int>& numbers, int number) {
  return std::find(numbers.begin(), numbers.end(), number) != numbers.end();
}

// Whether only a signature was put into a signature field that had none: its value, and the appearance that
// shows it with its flags (signers lock the widget they sign). The signature is verified on its own.
bool OnlySigned(qp_cos before, qp_cos now, const std::vector<std::string>& keys) {
  if (!IsSignatureField(before) || SignatureValueOf(before) != nullptr || SignatureValueOf(now) == nullptr)
    return false;
  return std::all_of(keys.begin(), keys.end(),
                     [](const std::string& key) { return key == "V" || key == "AP" || key == "F" || key == "MK"; });
}

}  // namespace

bool ChangeAnalysis::ComparePageObject(int number) {
  const CosHandle before = Before(number);
  const std::string_view type = NameAt(before.get(), "Type");
  if (type == "Pages") {
    ComparePageTree(number);
    return true;
  }
  if (type != "Page") return false;
  const int page = qp_document_page_index(before_, number);
  if (page < 0) return false;
  ComparePageDict(number, page);
  return true;
}

void ChangeAnalysis::ComparePageDict(int number, int page) {
  Settle(number);
  const CosHandle before = Before(number);
  const CosHandle now = Now(number);
  if (now == nullptr || NameAt(now.get(), "Type") != NameAt(before.get(), "Type")) {
    ComparePageTree(number);
    return;
  }
  for (const std::string& key : DifferingKeys(before.get(), now.get())) {
    const CosHandle entryBefore = Entry(before.get(), key.c_str());
    const CosHandle entryNow = Entry(now.get(), key.c_str());
    SettleEntry(entryBefore.get());
    SettleEntry(entryNow.get());
    if (key == "Contents") {
      Record(ChangeKind::ContentChanged, page, number);
    } else if (key == "Resources") {
      Record(ChangeKind::ResourcesChanged, page, number);
    } else if (IsGeometryKey(key)) {
      Record(ChangeKind::PageGeometryChanged, page, number);
    } else if (key == kPageIdentifierKey) {
      Record(entryBefore == nullptr ? ChangeKind::PageIdentifierAdded : ChangeKind::PageIdentifierChanged, page,
             number);
    } else if (key == "Annots") {
      CompareAnnotationList(page, entryBefore.get(), entryNow.get(), number);
    } else if (key == "Parent") {
      ComparePageTree(number);
    } else if (key == "AA") {
      Record(ChangeKind::DocumentActionChanged, page, number);
    } else {
      Record(ChangeKind::Other, page, number);
    }
  }
}

void ChangeAnalysis::ComparePageTree(int object) {
  Settle(object);
  if (!pageTreeCompared_) {
    pageTreeCompared_ = true;
    if (PageObjects(before_) != PageObjects(now_)) Record(ChangeKind::PagesAddedRemovedOrMoved, -1, object);
  }
  // A node of the tree hands its resources, boxes and rotation down to the pages below it.
  const CosHandle before = Before(object);
  const CosHandle now = Now(object);
  if (NameAt(before.get(), "Type") != "Pages" || now == nullptr) return;
  for (const std::string& key : DifferingKeys(before.get(), now.get())) {
    SettleEntry(Entry(before.get(), key.c_str()).get());
    SettleEntry(Entry(now.get(), key.c_str()).get());
    if (key == "Resources") {
      Record(ChangeKind::ResourcesChanged, -1, object);
    } else if (IsGeometryKey(key)) {
      Record(ChangeKind::PageGeometryChanged, -1, object);
    } else if (key != "Kids" && key != "Count" && key != "Parent") {
      Record(ChangeKind::Other, -1, object);
    }
  }
}

void ChangeAnalysis::CompareAnnotationList(int page, qp_cos before, qp_cos now, int container) {
  SettleEntry(before);
  SettleEntry(now);
  const auto itemsBefore = ItemsOf(before);
  const auto itemsNow = ItemsOf(now);
  const std::vector<int> numbersBefore = ListNumbers(itemsBefore);
  const std::vector<int> numbersNow = ListNumbers(itemsNow);
  for (std::size_t i = 0; i < itemsNow.size(); ++i) {
    const int number = numbersNow[i];
    if (number > 0 ? Contains(numbersBefore, number)
                   : std::any_of(itemsBefore.begin(), itemsBefore.end(), [&](const CosHandle& item) {
                       return qp_cos_same(item.get(), itemsNow[i].get()) == 1;
                     }))
      continue;
    const int object = number > 0 ? number : container;
    RecordAddition(AdditionKind(itemsNow[i].get()), page, object, container);
    if (number > 0) {
      reached_.insert(number);
      Settle(number);
    }
  }
  std::vector<int> keptInOrder;
  for (std::size_t i = 0; i < itemsBefore.size(); ++i) {
    const int number = numbersBefore[i];
    if (number > 0 ? Contains(numbersNow, number)
                   : std::any_of(itemsNow.begin(), itemsNow.end(), [&](const CosHandle& item) {
                       return qp_cos_same(item.get(), itemsBefore[i].get()) == 1;
                     })) {
      if (number > 0) keptInOrder.push_back(number);
      continue;
    }
    Record(IsSeal(number) ? ChangeKind::SealChanged : ChangeKind::AnnotationRemoved, page,
           number > 0 ? number : container);
  }
  // Annotations are drawn in list order: the ones kept must keep theirs.
  std::vector<int> keptNow;
  for (const int number : numbersNow)
    if (Contains(keptInOrder, number)) keptNow.push_back(number);
  if (keptNow != keptInOrder) Record(ChangeKind::AnnotationChanged, page, container);
}

ChangeKind ChangeAnalysis::AdditionKind(qp_cos annotation) {
  if (!IsDict(annotation)) return ChangeKind::AnnotationAdded;
  const std::string_view subtype = NameAt(annotation, "Subtype");
  // A seal with a record is verified on its own; one without is an overlay nothing verifies.
  if (subtype == kSealSubtype)
    return SealRecordReader(annotation).state == RecordState::None ? ChangeKind::RecordlessSealAdded
                                                                   : ChangeKind::SealAnnotationAdded;
  if (subtype == "Widget" && IsSignatureField(annotation)) {
    const CosHandle value = SignatureValueOf(annotation);
    // An empty signature field shows what nobody signed.
    if (value == nullptr) return ChangeKind::AnnotationAdded;
    return IsDocumentTimestamp(value.get()) ? ChangeKind::DocumentTimestampAdded : ChangeKind::SignatureFieldAdded;
  }
  return ChangeKind::AnnotationAdded;
}

int ChangeAnalysis::PageBefore(qp_cos annotation) {
  const int pageNumber = NumberOf(Entry(annotation, "P").get());
  if (pageNumber <= 0) return -1;
  const int page = qp_document_page_index(before_, pageNumber);
  if (page < 0) return -1;
  const CosHandle pageDict = Before(pageNumber);
  const int number = NumberOf(annotation);
  for (const auto& item : ItemsOf(Entry(pageDict.get(), "Annots").get()))
    if (NumberOf(item.get()) == number) return page;
  return -1;
}

bool ChangeAnalysis::CompareAnnotationObject(int number) {
  const CosHandle before = Before(number);
  if (!LooksLikeAnnotation(before.get())) return false;
  const int page = PageBefore(before.get());
  const bool field = FieldObjectsBefore().count(number) != 0;
  // One that stands on no page and in no field was not shown: leave it to the walk.
  if (page < 0 && !field) return false;
  CompareAnnotationDict(number, page, field);
  return true;
}

void ChangeAnalysis::CompareAnnotationDict(int number, int page, bool field) {
  Settle(number);
  const CosHandle before = Before(number);
  if (IsSeal(number)) {
    Record(ChangeKind::SealChanged, page, number);
    return;
  }
  const CosHandle now = Now(number);
  if (now == nullptr) {
    Record(ChangeKind::AnnotationRemoved, page, number);
    return;
  }
  const std::vector<std::string> keys = DifferingKeys(before.get(), now.get());
  for (const std::string& key : keys) {
    SettleEntry(Entry(before.get(), key.c_str()).get());
    SettleEntry(Entry(now.get(), key.c_str()).get());
  }
  if (OnlySigned(before.get(), now.get(), keys)) {
    RecordAddition(ChangeKind::SignatureFieldAdded, page, number, number);
  } else if (field) {
    Record(ChangeKind::FormFieldChanged, page, number);
  } else if (keys.size() == 1 && keys.front() == "OC") {
    Record(ChangeKind::OptionalContentChanged, page, number);
  } else {
    Record(ChangeKind::AnnotationChanged, page, number);
  }
}

bool ChangeAnalysis::CompareFieldObject(int number) {
  if (FieldObjectsBefore().count(number) == 0) return false;
  Settle(number);
  if (IsSeal(number)) {
    Record(ChangeKind::SealChanged, -1, number);
    return true;
  }
  const CosHandle before = Before(number);
  const CosHandle now = Now(number);
  const std::vector<std::string> keys = DifferingKeys(before.get(), now.get());
  if (now != nullptr && OnlySigned(before.get(), now.get(), keys)) {
    RecordAddition(ChangeKind::SignatureFieldAdded, -1, number, number);
  } else {
    Record(ChangeKind::FormFieldChanged, -1, number);
  }
  return true;
}

bool ChangeAnalysis::CompareAnnotationArray(int number) {
  const CosHandle before = Before(number);
  if (before == nullptr || !qp_cos_is_array(before.get())) return false;
  const CosHandle now = Now(number);
  // An annotation names its page in /P; the list is that page's when the page's /Annots is this array.
  std::vector<CosHandle> items = ItemsOf(now.get());
  for (auto& item : ItemsOf(before.get())) items.push_back(std::move(item));
  for (const auto& item : items) {
    const int pageNumber = NumberOf(Entry(item.get(), "P").get());
    if (pageNumber <= 0) continue;
    const CosHandle pageDict = Before(pageNumber);
    if (NumberOf(Entry(pageDict.get(), "Annots").get()) != number) continue;
    const int page = qp_document_page_index(before_, pageNumber);
    if (page < 0) continue;
    CompareAnnotationList(page, before.get(), now.get(), number);
    return true;
  }
  return false;
}

}  // namespace sealrun::verify
