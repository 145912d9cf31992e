#include "verify/LegacyDocumentFingerprint.h"

#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "external/QpHandles.h"
#include "support/Trace.h"
#include "verify/FingerprintDigest.h"
#include "verify/FingerprintLines.h"
#include "verify/PdfNames.h"

namespace sealrun::verify {
namespace {

using external::CosHandle;
using external::PageHandle;

constexpr std::size_t kInitialStreamCapacity = 256 * 1024;
// Direct objects nest as deep as a file says; deeper than this is no real document and must not exhaust the stack.
constexpr int kMaxNesting = 256;

enum class Level { Top, Nested };
enum class Kind { Indirect, Bool, Int, Real, String, Name, Null, Dict, Array, Other };

// The order of the tests matters: a reference is always of kind Indirect below the top level, and a
// stream is a dictionary with data.
Kind KindOf(qp_cos value, Level level) {
  if (level == Level::Nested && qp_cos_is_indirect(value)) return Kind::Indirect;
  if (qp_cos_is_bool(value)) return Kind::Bool;
  if (qp_cos_is_int(value)) return Kind::Int;
  if (qp_cos_is_real(value)) return Kind::Real;
  if (qp_cos_is_string(value)) return Kind::String;
  if (qp_cos_is_name(value)) return Kind::Name;
  if (qp_cos_is_null(value)) return Kind::Null;
  if (qp_cos_is_dict(value)) return Kind::Dict;
  if (qp_cos_is_array(value)) return Kind::Array;
  return Kind::Other;
}

bool StartsRegular(Kind kind) {
  return kind == Kind::Bool || kind == Kind::Int || kind == Kind::Real || kind == Kind::Null ||
         kind == Kind::Indirect;
}

bool EndsRegular(Kind kind) { return StartsRegular(kind) || kind == Kind::Name; }

bool NameIs(qp_cos value, const char* expected) {
  if (value == nullptr || !qp_cos_is_name(value)) return false;
  const char* name = qp_cos_to_name(value);
  return name != nullptr && std::strcmp(name, expected) == 0;
}

bool HasKey(qp_cos dict, const char* key) {
  return CosHandle(qp_cos_dict_gets(dict, key)) != nullptr;
}

// Objects a followed reference must not enter: the page tree (it leads to every annotation, seals
// included), annotations and form fields (a signature widget or its field), signature values and the
// catalogue.
bool IsOutsideContent(qp_cos target) {
  if (!qp_cos_is_dict(target) || qp_cos_is_stream(target)) return false;
  const CosHandle type(qp_cos_dict_gets(target, "Type"));
  for (const char* excluded : {"Page", "Pages", "Annot", "Sig", "DocTimeStamp", "Catalog"}) {
    if (NameIs(type.get(), excluded)) return true;
  }
  if (HasKey(target, "FT") || HasKey(target, "Kids")) return true;
  return HasKey(target, "Subtype") && HasKey(target, "Rect");
}

// Keys that point up or sideways (to the page, the parent field, another annotation).
bool IsBackPointer(std::string_view key) {
  return key == "P" || key == "Parent" || key == "Popup" || key == "IRT";
}

struct NestingScope {
  explicit NestingScope(int& depth) : depth_(depth) { ++depth_; }
  ~NestingScope() { --depth_; }
  NestingScope(const NestingScope&) = delete;
  NestingScope& operator=(const NestingScope&) = delete;
  int& depth_;
};

class LegacyComputation {
 public:
  explicit LegacyComputation(qp_document document) : document_(document) {}

  std::optional<std::u16string> Compute() {
    const int pageCount = qp_page_count(document_);
    if (pageCount < 0) return std::nullopt;
    FingerprintLines lines;
    for (int pageIndex = 0; pageIndex < pageCount; ++pageIndex) {
      const PageHandle page = external::LoadPage(document_, pageIndex);
      if (page == nullptr) return std::nullopt;
      const CosHandle pageDict(qp_page_object(page.get()));
      if (pageDict == nullptr) return std::nullopt;
      std::optional<std::u16string> identifier = PageIdentifierOf(document_, pageDict.get());
      if (!identifier) return std::nullopt;
      DigestContents(pageDict.get());
      DigestAnnotations(page.get());
      DigestResources(pageDict.get());
      DigestFollowedReferences();
      if (streamUnread_) return std::nullopt;
      lines.Add(*identifier, digest_.TakeDigestText());
    }
    return lines.Fingerprint();
  }

 private:
  // The stored bytes, read whole into a buffer kept across streams. A stream that cannot be read marks the
  // computation incomplete: leaving it out would give the fingerprint of another document.
  void WriteRawStream(qp_cos stream) {
    if (streamCapacity_ == 0) {
      streamCapacity_ = kInitialStreamCapacity;
      streamBuffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(streamCapacity_);
    }
    std::size_t length = streamCapacity_;
    int result = qp_cos_stream_raw_to_buffer(stream, streamBuffer_.get(), &length);
    if (result == QP_ERR_BUFFER) {
      streamBuffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(length);
      streamCapacity_ = length;
      result = qp_cos_stream_raw_to_buffer(stream, streamBuffer_.get(), &length);
    }
    if (result != QP_OK) {
      streamUnread_ = true;
      return;
    }
    digest_.WriteBulk(std::span<const std::uint8_t>(streamBuffer_.get(), length));
  }

  void WriteString(qp_cos value) {
    const char* bytes = qp_cos_to_string(value);
    const int length = bytes == nullptr ? 0 : qp_cos_to_string_len(value);
    digest_.WriteString(std::string_view(bytes == nullptr ? "" : bytes, static_cast<std::size_t>(length)),
                        qp_cos_string_is_hex(value) ? StringForm::Hex : StringForm::Literal);
  }

  void QueueReference(CosHandle reference, std::string_view key) {
    if (IsBackPointer(key)) return;
    const int number = qp_cos_obj_num(reference.get());
    if (number <= 0 || followed_.contains(number)) return;
    followQueue_.push_back(std::move(reference));
  }

  void WriteDictionary(qp_cos dict) {
    digest_.Write("<<");
    const int count = qp_cos_dict_len(dict);
    for (int i = 0; i < count; ++i) {
      CosHandle value(qp_cos_dict_get_val(dict, i));
      const char* key = qp_cos_dict_get_key(dict, i);
      if (value == nullptr || key == nullptr) continue;
      const Kind kind = KindOf(value.get(), Level::Nested);
      if (kind == Kind::Other) continue;
      digest_.WriteName(key);
      if (StartsRegular(kind)) digest_.Write(" ");
      if (kind == Kind::Indirect) {
        QueueReference(std::move(value), key);
      } else {
        DigestCosValue(value.get(), Level::Nested);
      }
    }
    digest_.Write(">>");
    if (qp_cos_is_stream(dict)) {
      digest_.Write("stream\r\n");
      WriteRawStream(dict);
      digest_.Write("\r\nendstream");
    }
  }

  void WriteArray(qp_cos array) {
    digest_.Write("[");
    const int count = qp_cos_array_len(array);
    bool first = true;
    bool previousEndsRegular = false;
    for (int i = 0; i < count; ++i) {
      CosHandle element(qp_cos_array_get(array, i));
      if (element == nullptr) continue;
      const Kind kind = KindOf(element.get(), Level::Nested);
      if (kind == Kind::Other) continue;
      if (!first && previousEndsRegular && StartsRegular(kind)) digest_.Write(" ");
      if (kind == Kind::Indirect) {
        QueueReference(std::move(element), {});
      } else {
        DigestCosValue(element.get(), Level::Nested);
      }
      first = false;
      previousEndsRegular = EndsRegular(kind);
    }
    digest_.Write("]");
  }

  void DigestCosValue(qp_cos value, Level level) {
    if (value == nullptr || nesting_ >= kMaxNesting) return;
    const NestingScope scope(nesting_);
    switch (KindOf(value, level)) {
      case Kind::Indirect:
        break;
      case Kind::Bool:
        digest_.Write(qp_cos_to_bool(value) ? "true" : "false");
        break;
      case Kind::Int:
        digest_.WriteInteger(qp_cos_to_int(value));
        break;
      case Kind::Real:
        digest_.WriteReal(qp_cos_to_double(value));
        break;
      case Kind::String:
        WriteString(value);
        break;
      case Kind::Name: {
        const char* name = qp_cos_to_name(value);
        digest_.WriteName(name == nullptr ? "" : name);
        break;
      }
      case Kind::Null:
        digest_.Write("null");
        break;
      case Kind::Dict:
        WriteDictionary(value);
        break;
      case Kind::Array:
        WriteArray(value);
        break;
      case Kind::Other:
        break;
    }
  }

  void DigestFollowedReferences() {
    // Breadth first with a worklist: reference chains in a file can be long or circular.
    std::size_t next = 0;
    while (next < followQueue_.size()) {
      CosHandle reference = std::move(followQueue_[next++]);
      const int number = qp_cos_obj_num(reference.get());
      if (!followed_.insert(number).second) continue;
      if (IsOutsideContent(reference.get())) continue;
      DigestCosValue(reference.get(), Level::Top);
    }
    followQueue_.clear();
  }

  void DigestContents(qp_cos pageDict) {
    const CosHandle contents(qp_cos_dict_gets(pageDict, "Contents"));
    if (contents == nullptr) return;
    if (qp_cos_is_stream(contents.get())) {
      WriteRawStream(contents.get());
      return;
    }
    if (!qp_cos_is_array(contents.get())) return;
    const int count = qp_cos_array_len(contents.get());
    for (int i = 0; i < count; ++i) {
      const CosHandle element(qp_cos_array_get(contents.get(), i));
      if (element != nullptr && qp_cos_is_stream(element.get())) WriteRawStream(element.get());
    }
  }

  void DigestAnnotations(qp_page page) {
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
      DigestCosValue(dict.get(), Level::Top);
    }
  }

  void DigestResources(qp_cos pageDict) {
    CosHandle resources(qp_cos_dict_gets(pageDict, "Resources"));
    // The release read the resources a page inherits when it has none of its own.
    CosHandle node;
    for (int depth = 0; resources == nullptr && depth < 64; ++depth) {
      CosHandle parent(qp_cos_dict_gets(node == nullptr ? pageDict : node.get(), "Parent"));
      if (parent == nullptr || !qp_cos_is_dict(parent.get())) break;
      node = std::move(parent);
      resources.reset(qp_cos_dict_gets(node.get(), "Resources"));
    }
    if (resources == nullptr || !qp_cos_is_dict(resources.get())) return;
    const int count = qp_cos_dict_len(resources.get());
    for (int i = 0; i < count; ++i) {
      const CosHandle category(qp_cos_dict_get_val(resources.get(), i));
      if (category == nullptr) continue;
      if (qp_cos_is_dict(category.get()) && !qp_cos_is_stream(category.get())) {
        const int entries = qp_cos_dict_len(category.get());
        for (int j = 0; j < entries; ++j) {
          const CosHandle value(qp_cos_dict_get_val(category.get(), j));
          DigestCosValue(value.get(), Level::Top);
        }
      } else if (qp_cos_is_array(category.get())) {
        const int entries = qp_cos_array_len(category.get());
        for (int j = 0; j < entries; ++j) {
          const CosHandle value(qp_cos_array_get(category.get(), j));
          DigestCosValue(value.get(), Level::Nested);
        }
      }
    }
  }

  qp_document document_;
  FingerprintDigest digest_;
  std::unique_ptr<std::uint8_t[]> streamBuffer_;
  std::size_t streamCapacity_ = 0;
  std::vector<CosHandle> followQueue_;
  std::unordered_set<int> followed_;
  int nesting_ = 0;
  bool streamUnread_ = false;
};

}  // namespace

std::optional<std::u16string> LegacyDocumentFingerprint(qp_document document) {
  try {
    return LegacyComputation(document).Compute();
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace sealrun::verify
