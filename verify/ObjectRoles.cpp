// What an earlier object was for, when nothing simpler tells: the document as it stood in the seal's revision
// is walked from its roots, pages first (their content, resources, annotations), then the page tree, the
// form, the catalog's other entries and the document information, and each object takes the first place it
// is met in. An object met nowhere was not part of the document, and its change shows nowhere.
#include <map>

#include "verify/ChangeAnalysis.h"

namespace sealrun::verify {

namespace {

enum class Role {
  Page,
  PageContent,
  PageResources,
  PageAction,
  PageOther,
  AnnotationList,
  Annotation,
  PageTree,
  Field,
  Form,
  DocumentAction,
  OptionalContent,
  Information,
  Metadata,
  ValidationData,
  Other,
};

struct Place {
  Role role = Role::Other;
  int page = -1;
  int owner = 0;  // the annotation or field the object belongs to
};

// Links back up the structure: following them would give an object the place of what points to it.
bool IsBackLink(const std::string& key) { return key == "Parent" || key == "P"; }

class RoleWalk {
 public:
  RoleWalk(qp_document document, const std::vector<int>& wanted) : document_(document) {
    for (const int number : wanted) wanted_.insert(number);
  }

  std::map<int, Place> Run() {
    const CosHandle trailer(qp_document_trailer(document_));
    const CosHandle catalog = Entry(trailer.get(), "Root");
    int count = 0;
    std::vector<int> pages;
    if (qp_document_page_objects(document_, nullptr, &count) == QP_OK && count > 0) {
      pages.resize(static_cast<std::size_t>(count));
      if (qp_document_page_objects(document_, pages.data(), &count) != QP_OK) pages.clear();
    }
    for (std::size_t i = 0; i < pages.size() && !Done(); ++i) WalkPage(pages[i], static_cast<int>(i));
    WalkCatalog(catalog.get());
    Walk(Entry(trailer.get(), "Info").get(), {Role::Information});
    return found_;
  }

 private:
  bool Done() const { return found_.size() == wanted_.size(); }

  // Marks an object met for the first time; false when it was met before.
  bool Meet(int number, const Place& place) {
    if (number <= 0) return true;
    if (!met_.insert(number).second) return false;
    if (wanted_.count(number) != 0) found_.emplace(number, place);
    return true;
  }

  // What the page draws comes first: an object its content and an annotation share is the page's.
  void WalkPage(int number, int page) {
    const CosHandle dict(qp_document_object(document_, number));
    if (dict == nullptr || !Meet(number, {Role::Page, page})) return;
    Walk(Entry(dict.get(), "Contents").get(), {Role::PageContent, page});
    Walk(Entry(dict.get(), "Resources").get(), {Role::PageResources, page});
    const CosHandle annotations = Entry(dict.get(), "Annots");
    if (!qp_cos_is_indirect(annotations.get()) || Meet(NumberOf(annotations.get()), {Role::AnnotationList, page})) {
      for (const auto& annotation : ItemsOf(annotations.get()))
        Walk(annotation.get(), {Role::Annotation, page, NumberOf(annotation.get())});
    }
    for (const std::string& key : KeysOf(dict.get())) {
      if (IsBackLink(key) || key == "Contents" || key == "Resources" || key == "Annots") continue;
      Walk(Entry(dict.get(), key.c_str()).get(), {key == "AA" ? Role::PageAction : Role::PageOther, page});
    }
  }

  void WalkCatalog(qp_cos catalog) {
    if (catalog == nullptr) return;
    Meet(NumberOf(catalog), {Role::Other});
    for (const std::string& key : KeysOf(catalog)) {
      const CosHandle value = Entry(catalog, key.c_str());
      if (key == "Pages") {
        Walk(value.get(), {Role::PageTree});
      } else if (key == "AcroForm") {
        WalkForm(value.get());
      } else if (key == "Names") {
        if (qp_cos_is_indirect(value.get()) && !Meet(NumberOf(value.get()), {Role::Other})) continue;
        for (const std::string& tree : KeysOf(value.get()))
          Walk(Entry(value.get(), tree.c_str()).get(), {tree == "JavaScript" ? Role::DocumentAction : Role::Other});
      } else if (key == "OpenAction" || key == "AA") {
        Walk(value.get(), {Role::DocumentAction});
      } else if (key == "OCProperties") {
        Walk(value.get(), {Role::OptionalContent});
      } else if (key == "Metadata") {
        Walk(value.get(), {Role::Metadata});
      } else if (key == "DSS") {
        Walk(value.get(), {Role::ValidationData});
      } else {
        Walk(value.get(), {Role::Other});
      }
    }
  }

  void WalkForm(qp_cos form) {
    if (form == nullptr) return;
    if (qp_cos_is_indirect(form) && !Meet(NumberOf(form), {Role::Form})) return;
    for (const std::string& key : KeysOf(form)) {
      const CosHandle value = Entry(form, key.c_str());
      if (key != "Fields") {
        Walk(value.get(), {Role::Form});
        continue;
      }
      if (qp_cos_is_indirect(value.get()) && !Meet(NumberOf(value.get()), {Role::Form})) continue;
      for (const auto& field : ItemsOf(value.get())) Walk(field.get(), {Role::Field, -1, NumberOf(field.get())});
    }
  }

  // Everything reachable from `root` that was not met yet takes `place`; a field's kids are fields of
  // their own.
  void Walk(qp_cos root, const Place& place) {
    if (root == nullptr || Done()) return;
    std::vector<std::pair<CosHandle, Place>> pending;
    const auto expand = [&](qp_cos value, const Place& at) {
      if (qp_cos_is_indirect(value) && !Meet(NumberOf(value), at)) return;
      if (IsDict(value)) {
        for (const std::string& key : KeysOf(value)) {
          if (IsBackLink(key)) continue;
          if (at.role == Role::Field && key == "Kids") {
            for (auto& kid : ItemsOf(Entry(value, key.c_str()).get())) {
              const int owner = NumberOf(kid.get());
              pending.emplace_back(std::move(kid), Place{Role::Field, -1, owner});
            }
            continue;
          }
          // A node of the page tree hands its resources down to the pages below it.
          const bool inherited = at.role == Role::PageTree && key == "Resources";
          pending.emplace_back(Entry(value, key.c_str()), inherited ? Place{Role::PageResources} : at);
        }
      } else if (qp_cos_is_array(value)) {
        for (auto& item : ItemsOf(value)) pending.emplace_back(std::move(item), at);
      }
    };
    expand(root, place);
    while (!pending.empty() && !Done()) {
      auto [value, at] = std::move(pending.back());
      pending.pop_back();
      if (value != nullptr) expand(value.get(), at);
    }
  }

  qp_document document_;
  std::set<int> wanted_;
  std::set<int> met_;
  std::map<int, Place> found_;
};

}  // namespace

void ChangeAnalysis::ClassifyByRole(const std::vector<int>& numbers) {
  const std::map<int, Place> places = RoleWalk(before_, numbers).Run();
  for (const int number : numbers) {
    if (IsSettled(number)) continue;
    const auto found = places.find(number);
    if (found == places.end()) continue;  // not part of the document as it stood: nothing shown changed
    const Place& place = found->second;
    const int page = place.page;
    const auto onlyOptionalContent = [&] {
      const auto keys = DifferingKeys(Before(number).get(), Now(number).get());
      return keys.size() == 1 && keys.front() == "OC";
    };
    switch (place.role) {
      case Role::Page:
        ComparePageDict(number, page);
        break;
      case Role::PageContent:
        Record(ChangeKind::ContentChanged, page, number);
        break;
      case Role::PageResources:
        Record(onlyOptionalContent() ? ChangeKind::OptionalContentChanged : ChangeKind::ResourcesChanged, page, number);
        break;
      case Role::PageAction:
        Record(ChangeKind::DocumentActionChanged, page, number);
        break;
      case Role::PageOther:
        Record(ChangeKind::Other, page, number);
        break;
      case Role::AnnotationList: {
        const CosHandle before = Before(number);
        const CosHandle now = Now(number);
        CompareAnnotationList(page, before.get(), now.get(), number);
        break;
      }
      case Role::Annotation:
        if (place.owner == number) {
          CompareAnnotationDict(number, page, FieldObjectsBefore().count(number) != 0);
        } else if (IsSeal(place.owner)) {
          Record(ChangeKind::SealChanged, page, number);
        } else if (FieldObjectsBefore().count(place.owner) != 0) {
          Record(ChangeKind::FormFieldChanged, page, number);
        } else {
          Record(onlyOptionalContent() ? ChangeKind::OptionalContentChanged : ChangeKind::AnnotationChanged, page,
                 number);
        }
        break;
      case Role::PageTree:
        ComparePageTree(number);
        break;
      case Role::Field:
        Record(IsSeal(place.owner) || IsSeal(number) ? ChangeKind::SealChanged : ChangeKind::FormFieldChanged, page,
               number);
        break;
      case Role::Form:
        Record(ChangeKind::FormChanged, page, number);
        break;
      case Role::DocumentAction:
        Record(ChangeKind::DocumentActionChanged, page, number);
        break;
      case Role::OptionalContent:
        Record(ChangeKind::OptionalContentChanged, page, number);
        break;
      case Role::Information:
        Record(ChangeKind::DocumentInformationChanged, page, number);
        break;
      case Role::Metadata:
        Record(ChangeKind::MetadataChanged, page, number);
        break;
      case Role::ValidationData:
        Record(ChangeKind::ValidationDataAdded, page, number);
        break;
      case Role::Other:
        Record(ChangeKind::Other, page, number);
        break;
    }
    Settle(number);
  }
}

}  // namespace sealrun::verify
