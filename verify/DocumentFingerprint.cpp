#include "verify/DocumentFingerprint.h"

#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <vector>

#include "external/QpHandles.h"
#include "support/Trace.h"
#include "verify/PdfNames.h"

namespace sealrun::verify {

// What one walk of the engine writes into the digest. The engine calls back through a C function, so nothing
// may leave OnItem by an exception: a failure stops the walk instead.
class WalkRules {
 public:
  virtual ~WalkRules() = default;
  virtual int OnItem(const qp_walk_item& item) = 0;

  static int Callback(void* context, const qp_walk_item* item) noexcept {
    auto* rules = static_cast<WalkRules*>(context);
    try {
      return rules->OnItem(*item);
    } catch (...) {
      return QP_WALK_STOP;
    }
  }
};

namespace {

using external::CosHandle;
using external::PageHandle;

bool NameIs(qp_cos value, const char* expected) {
  if (value == nullptr || !qp_cos_is_name(value)) return false;
  const char* name = qp_cos_to_name(value);
  return name != nullptr && std::strcmp(name, expected) == 0;
}

// One value written whole.
class ValueRules : public WalkRules {
 public:
  ValueRules(FingerprintDigest& digest, CosLevel level) : writer_(digest) { writer_.Begin(0, level); }
  int OnItem(const qp_walk_item& item) override { return writer_.OnItem(item); }

 private:
  CanonicalWriter writer_;
};

// A page's contents: the stored data of the stream, or of each stream of the array in order, and nothing else.
class ContentsRules : public WalkRules {
 public:
  explicit ContentsRules(FingerprintDigest& digest) : digest_(digest) {}
  int OnItem(const qp_walk_item& item) override {
    switch (item.kind) {
      case QP_ITEM_DICT_BEGIN:
        return item.stream && item.depth <= 1 ? QP_WALK_SKIP_ENTRIES : QP_WALK_SKIP_ENTRIES | QP_WALK_SKIP_DATA;
      case QP_ITEM_ARRAY_BEGIN:
        return item.depth == 0 ? QP_WALK_NEXT : QP_WALK_SKIP_ENTRIES;
      case QP_ITEM_REFERENCE:
        return item.depth == 1 ? QP_WALK_FOLLOW : QP_WALK_NEXT;
      case QP_ITEM_STREAM_DATA:
        digest_.WriteBulk(std::span<const std::uint8_t>(item.bytes, item.length));
        return QP_WALK_NEXT;
      default:
        return QP_WALK_NEXT;
    }
  }

 private:
  FingerprintDigest& digest_;
};

// A page's own resources: in each category that is a dictionary (not a stream) every value is written at the
// top level; in each category that is an array every element is written below it. Nothing else counts.
// Pages share their fonts, images and graphics states: a value that is a reference writes the same text on
// every page, so its text is kept from its first writing and fed again from there.
class ResourcesRules : public WalkRules {
 public:
  ResourcesRules(FingerprintDigest& digest, ResourceTexts& texts) : digest_(digest), writer_(digest), texts_(texts) {}
  int OnItem(const qp_walk_item& item) override {
    if (item.depth == 0) {
      if (item.kind == QP_ITEM_DICT_BEGIN) return QP_WALK_SKIP_DATA;
      return item.kind == QP_ITEM_ARRAY_BEGIN ? QP_WALK_SKIP_ENTRIES : QP_WALK_NEXT;
    }
    if (item.depth == 1) {
      switch (item.kind) {
        case QP_ITEM_REFERENCE:
          return QP_WALK_FOLLOW;
        case QP_ITEM_DICT_BEGIN:
          if (item.stream) return QP_WALK_SKIP_ENTRIES | QP_WALK_SKIP_DATA;
          category_ = CosLevel::Top;
          return QP_WALK_NEXT;
        case QP_ITEM_ARRAY_BEGIN:
          category_ = CosLevel::Nested;
          return QP_WALK_NEXT;
        default:
          return QP_WALK_NEXT;
      }
    }
    if (item.depth == 2 && writer_.Idle()) {
      if (category_ == CosLevel::Top && item.kind == QP_ITEM_REFERENCE) {
        if (const std::string* text = texts_.Find(item.integer); text != nullptr) {
          digest_.WriteBulk(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text->data()), text->size()));
          return QP_WALK_NEXT;
        }
        capturing_ = item.integer;
        digest_.BeginCapture(texts_.EntryLimit());
      }
      writer_.Begin(2, category_);
    }
    const int answer = writer_.OnItem(item);
    if (capturing_ != 0 && writer_.Idle()) {
      if (std::optional<std::string> text = digest_.EndCapture()) texts_.Keep(capturing_, std::move(*text));
      capturing_ = 0;
    }
    return answer;
  }

 private:
  FingerprintDigest& digest_;
  CanonicalWriter writer_;
  ResourceTexts& texts_;
  CosLevel category_ = CosLevel::Top;
  std::int64_t capturing_ = 0;  // the object number whose text is being kept
};

}  // namespace

bool DocumentFingerprint::Walk(qp_cos object, WalkRules& rules) {
  int fallbacks = 0;
  const int result = qp_cos_walk(object, &WalkRules::Callback, &rules, &fallbacks);
  fallbacks_ += fallbacks;
  return result == QP_OK;
}

bool DocumentFingerprint::DigestCosValue(qp_cos value, CosLevel level) {
  if (value == nullptr) return true;
  if (level == CosLevel::Nested && qp_cos_is_indirect(value)) return true;
  ValueRules rules(digest_, CosLevel::Top);
  return Walk(value, rules);
}

std::optional<std::u16string> DocumentFingerprint::GetPageIdentifier(int pageIndex) {
  const PageHandle page = external::LoadPage(document_, pageIndex);
  if (page == nullptr) return std::nullopt;
  const CosHandle pageDict(qp_page_object(page.get()));
  if (pageDict == nullptr) return std::nullopt;
  return PageIdentifierOf(document_, pageDict.get());
}

bool DocumentFingerprint::DigestContents(qp_cos pageDict) {
  const CosHandle contents(qp_cos_dict_gets(pageDict, "Contents"));
  if (contents == nullptr) return true;
  ContentsRules rules(digest_);
  return Walk(contents.get(), rules);
}

// Last to first; seal annotations and signature widgets are left out so stamping keeps the fingerprint.
bool DocumentFingerprint::DigestAnnotations(qp_page page) {
  std::vector<qp_annot> annotations;
  for (qp_annot annot = qp_page_load_annots(page); annot != nullptr; annot = qp_annot_next(annot)) {
    annotations.push_back(annot);
  }
  for (auto it = annotations.rbegin(); it != annotations.rend(); ++it) {
    const char* subtype = qp_annot_get_subtype(*it);
    if (subtype != nullptr && std::strcmp(subtype, kSealSubtype) == 0) continue;
    const CosHandle dict(qp_annot_get_cosobject(*it));
    if (dict == nullptr) continue;
    const CosHandle fieldType(qp_cos_dict_gets(dict.get(), "FT"));
    if (NameIs(fieldType.get(), "Sig")) continue;
    if (!DigestCosValue(dict.get(), CosLevel::Top)) return false;
  }
  return true;
}

// Only the page dictionary's own /Resources: a page that inherits its resources contributes none.
bool DocumentFingerprint::DigestResources(qp_cos pageDict) {
  const CosHandle resources(qp_cos_dict_gets(pageDict, "Resources"));
  if (resources == nullptr) return true;
  ResourcesRules rules(digest_, resourceTexts_);
  const bool walked = Walk(resources.get(), rules);
  if (digest_.Capturing()) digest_.EndCapture();  // a walk that stopped inside a value keeps nothing of it
  return walked;
}

std::optional<std::u16string> DocumentFingerprint::ComputeDocumentFingerprint(qp_document document) {
  document_ = document;
  try {
    support::Trace(u"开始电子签章模式(兼容)Hash文档");
    digest_.Reset();
    resourceTexts_.Clear();
    lines_ = FingerprintLines();
    const int pageCount = qp_page_count(document_);
    if (pageCount < 0) return std::nullopt;
    for (int pageIndex = 0; pageIndex < pageCount; ++pageIndex) {
      const PageHandle page = external::LoadPage(document_, pageIndex);
      if (page == nullptr) return std::nullopt;
      const CosHandle pageDict(qp_page_object(page.get()));
      if (pageDict == nullptr) return std::nullopt;
      std::optional<std::u16string> identifier = PageIdentifierOf(document_, pageDict.get());
      if (!identifier) return std::nullopt;
      if (!DigestContents(pageDict.get()) || !DigestAnnotations(page.get()) || !DigestResources(pageDict.get())) {
        return std::nullopt;
      }
      lines_.Add(*identifier, digest_.TakeDigestText());
    }
    support::Trace(u"结束电子签章模式(兼容)Hash文档");
    return lines_.Fingerprint();
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace sealrun::verify
