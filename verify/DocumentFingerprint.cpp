#include "verify/DocumentFingerprint.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "platform/text/CodePage.h"
#include "support/Md5.h"
#include "support/Trace.h"
#include "verify/PdfNames.h"

namespace sealrun::verify {
namespace {

using external::CosHandle;
using external::PageHandle;

constexpr std::size_t kPendingLimit = 4096;
constexpr std::size_t kInitialStreamCapacity = 256 * 1024;
// Direct objects nest as deep as a file says; deeper than this is no real document and must not exhaust the stack.
constexpr int kMaxNesting = 256;

enum class Kind { Indirect, Bool, Int, Real, String, Name, Null, Dict, Array, Other };

// The order of the tests matters: a reference is always of kind Indirect below the top level, and a
// stream is a dictionary with data.
Kind KindOf(qp_cos value, CosLevel level) {
  if (level == CosLevel::Nested && qp_cos_is_indirect(value)) return Kind::Indirect;
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

bool IsDelimiterOrSpace(unsigned char byte) {
  switch (byte) {
    case 0x00: case '\t': case '\n': case '\f': case '\r': case ' ': case '%': case '(': case ')':
    case '/': case '<': case '>': case '[': case ']': case '{': case '}':
      return true;
    default:
      return false;
  }
}

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

}  // namespace

void DocumentFingerprint::Write(std::string_view bytes) {
  pending_.append(bytes);
  if (pending_.size() >= kPendingLimit) Flush();
}

void DocumentFingerprint::WriteBulk(const std::uint8_t* bytes, std::size_t length) {
  Flush();
  sha1_.Update(std::span<const std::uint8_t>(bytes, length));
  fedBytes_ += length;
}

void DocumentFingerprint::Flush() {
  if (pending_.empty()) return;
  sha1_.Update(std::string_view(pending_));
  fedBytes_ += pending_.size();
  pending_.clear();
}

std::string DocumentFingerprint::TakeDigestText() {
  Flush();
  std::uint8_t text[29] = {};
  sha1_.Final(text, support::Sha1Output::Text);
  return std::string(reinterpret_cast<const char*>(text), 28);
}

// The stored bytes, read whole into a buffer kept across streams and fed as they are. The engine reads a
// stream in full even to tell its length, so the first call already offers the buffer; only a stream larger
// than any before it is read a second time, into a buffer grown to its length. A stream that cannot be read
// marks the computation incomplete: leaving it out would give the fingerprint of another document.
void DocumentFingerprint::WriteRawStream(qp_cos stream) {
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
  if (length != 0) WriteBulk(streamBuffer_.get(), length);
}

void DocumentFingerprint::WriteString(qp_cos value) {
  const char* bytes = qp_cos_to_string(value);
  const int length = bytes == nullptr ? 0 : qp_cos_to_string_len(value);
  if (qp_cos_string_is_hex(value)) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    Write("<");
    for (int i = 0; i < length; ++i) {
      const auto byte = static_cast<unsigned char>(bytes[i]);
      const char digits[2] = {kHex[byte >> 4], kHex[byte & 0x0F]};
      Write(std::string_view(digits, 2));
    }
    Write(">");
    return;
  }
  Write("(");
  for (int i = 0; i < length; ++i) {
    const char byte = bytes[i];
    switch (byte) {
      case '\b': Write("\\b"); break;
      case '\t': Write("\\t"); break;
      case '\n': Write("\\n"); break;
      case '\f': Write("\\f"); break;
      case '\r': Write("\\r"); break;
      case '(': Write("\\("); break;
      case ')': Write("\\)"); break;
      case '\\': Write("\\\\"); break;
      default: Write(std::string_view(&byte, 1)); break;
    }
  }
  Write(")");
}

void DocumentFingerprint::WriteName(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  Write("/");
  for (const char byte : name) {
    const auto value = static_cast<unsigned char>(byte);
    if (IsDelimiterOrSpace(value)) {
      const char escaped[3] = {'#', kHex[value >> 4], kHex[value & 0x0F]};
      Write(std::string_view(escaped, 3));
    } else {
      Write(std::string_view(&byte, 1));
    }
  }
}

// "%.10f" without trailing zeros, keeping one zero after a bare decimal point (2 -> 2.0, 1.25 -> 1.25).
void DocumentFingerprint::WriteReal(double value) {
  char text[512];
  const int written = std::snprintf(text, sizeof text, "%.10f", value);
  if (written <= 0 || static_cast<std::size_t>(written) >= sizeof text) return;
  std::size_t length = static_cast<std::size_t>(written);
  if (std::memchr(text, '.', length) != nullptr) {
    while (length > 0 && text[length - 1] == '0') --length;
    if (length > 0 && text[length - 1] == '.') ++length;
  }
  Write(std::string_view(text, length));
}

void DocumentFingerprint::QueueReference(CosHandle reference, std::string_view key) {
  if (IsBackPointer(key)) return;
  const int number = qp_cos_obj_num(reference.get());
  if (number <= 0 || followed_.contains(number)) return;
  followQueue_.push_back(std::move(reference));
}

void DocumentFingerprint::WriteDictionary(qp_cos dict) {
  Write("<<");
  const int count = qp_cos_dict_len(dict);
  for (int i = 0; i < count; ++i) {
    CosHandle value(qp_cos_dict_get_val(dict, i));
    const char* key = qp_cos_dict_get_key(dict, i);
    if (value == nullptr || key == nullptr) continue;
    const Kind kind = KindOf(value.get(), CosLevel::Nested);
    if (kind == Kind::Other) continue;
    WriteName(key);
    if (StartsRegular(kind)) Write(" ");
    if (kind == Kind::Indirect) {
      QueueReference(std::move(value), key);
    } else {
      DigestCosValue(value.get(), CosLevel::Nested);
    }
  }
  Write(">>");
  if (qp_cos_is_stream(dict)) {
    Write("stream\r\n");
    WriteRawStream(dict);
    Write("\r\nendstream");
  }
}

void DocumentFingerprint::WriteArray(qp_cos array) {
  Write("[");
  const int count = qp_cos_array_len(array);
  bool first = true;
  bool previousEndsRegular = false;
  for (int i = 0; i < count; ++i) {
    CosHandle element(qp_cos_array_get(array, i));
    if (element == nullptr) continue;
    const Kind kind = KindOf(element.get(), CosLevel::Nested);
    if (kind == Kind::Other) continue;
    if (!first && previousEndsRegular && StartsRegular(kind)) Write(" ");
    if (kind == Kind::Indirect) {
      QueueReference(std::move(element), {});
    } else {
      DigestCosValue(element.get(), CosLevel::Nested);
    }
    first = false;
    previousEndsRegular = EndsRegular(kind);
  }
  Write("]");
}

void DocumentFingerprint::DigestCosValue(qp_cos value, CosLevel level) {
  if (value == nullptr || nesting_ >= kMaxNesting) return;
  const NestingScope scope(nesting_);
  switch (KindOf(value, level)) {
    case Kind::Indirect:
      break;
    case Kind::Bool:
      Write(qp_cos_to_bool(value) ? "true" : "false");
      break;
    case Kind::Int:
      Write(std::to_string(qp_cos_to_int(value)));
      break;
    case Kind::Real:
      WriteReal(qp_cos_to_double(value));
      break;
    case Kind::String:
      WriteString(value);
      break;
    case Kind::Name: {
      const char* name = qp_cos_to_name(value);
      WriteName(name == nullptr ? "" : name);
      break;
    }
    case Kind::Null:
      Write("null");
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

void DocumentFingerprint::DigestFollowedReferences() {
  // Breadth first with a worklist: reference chains in a file can be long or circular.
  std::size_t next = 0;
  while (next < followQueue_.size()) {
    CosHandle reference = std::move(followQueue_[next++]);
    const int number = qp_cos_obj_num(reference.get());
    if (!followed_.insert(number).second) continue;
    if (IsOutsideContent(reference.get())) continue;
    DigestCosValue(reference.get(), CosLevel::Top);
  }
  followQueue_.clear();
}

std::optional<std::u16string> DocumentFingerprint::GetPageIdentifier(int pageIndex) {
  const PageHandle page = external::LoadPage(document_, pageIndex);
  if (page == nullptr) return std::nullopt;
  const CosHandle pageDict(qp_page_object(page.get()));
  if (pageDict == nullptr) return std::nullopt;
  return PageIdentifierOf(pageDict.get());
}

std::optional<std::u16string> DocumentFingerprint::PageIdentifierOf(qp_cos pageDict) {
  if (const CosHandle id(qp_cos_dict_gets(pageDict, kPageIdentifierKey)); id != nullptr) {
    // An identifier that is not a string is left as it is and reads as empty.
    const char* bytes = qp_cos_to_string(id.get());
    if (bytes == nullptr) return std::u16string();
    const auto length = static_cast<std::size_t>(qp_cos_to_string_len(id.get()));
    return platform::text::ToUtf16(std::string_view(bytes, length), platform::text::kCpAcp);
  }
  const std::string identifier = support::Md5Text(std::to_string(qp_cos_obj_num(pageDict)));
  {
    const CosHandle text(qp_cos_new_string(document_, identifier.data(), static_cast<int>(identifier.size()), 0));
    if (text == nullptr || qp_cos_dict_puts(pageDict, kPageIdentifierKey, text.get()) != QP_OK) return std::nullopt;
  }
  qp_cos_set_modify(document_, pageDict, 1);
  return std::u16string(identifier.begin(), identifier.end());
}

void DocumentFingerprint::DigestContents(qp_cos pageDict) {
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

// Last to first; seal annotations and signature widgets are left out so stamping keeps the fingerprint.
void DocumentFingerprint::DigestAnnotations(qp_page page) {
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
    DigestCosValue(dict.get(), CosLevel::Top);
  }
}

void DocumentFingerprint::DigestResources(qp_cos pageDict) {
  CosHandle resources(qp_cos_dict_gets(pageDict, "Resources"));
  // A page that has no resources of its own uses its ancestors' (the same rule as for drawing it), so a
  // change there changes what the page shows.
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
        DigestCosValue(value.get(), CosLevel::Top);
      }
    } else if (qp_cos_is_array(category.get())) {
      const int entries = qp_cos_array_len(category.get());
      for (int j = 0; j < entries; ++j) {
        const CosHandle value(qp_cos_array_get(category.get(), j));
        DigestCosValue(value.get(), CosLevel::Nested);
      }
    }
  }
}

std::optional<std::u16string> DocumentFingerprint::ComputeDocumentFingerprint(qp_document document) {
  document_ = document;
  try {
    support::Trace(u"开始电子签章模式(兼容)Hash文档");
    sha1_.Reset();
    pending_.clear();
    followQueue_.clear();
    followed_.clear();
    nesting_ = 0;
    streamUnread_ = false;
    const int pageCount = qp_page_count(document_);
    if (pageCount < 0) return std::nullopt;
    std::u16string text;
    std::vector<std::u16string> used;
    for (int pageIndex = 0; pageIndex < pageCount; ++pageIndex) {
      const PageHandle page = external::LoadPage(document_, pageIndex);
      if (page == nullptr) return std::nullopt;
      const CosHandle pageDict(qp_page_object(page.get()));
      if (pageDict == nullptr) return std::nullopt;
      std::optional<std::u16string> identifier = PageIdentifierOf(pageDict.get());
      if (!identifier) return std::nullopt;
      DigestContents(pageDict.get());
      DigestAnnotations(page.get());
      DigestResources(pageDict.get());
      DigestFollowedReferences();
      if (streamUnread_) return std::nullopt;
      const std::string digest = TakeDigestText();

      std::size_t seen = 0;
      for (const std::u16string& earlier : used) {
        if (earlier.size() >= identifier->size() && earlier.find(*identifier) != std::u16string::npos) ++seen;
      }
      if (seen > 0) {
        const std::string counter = std::to_string(seen);
        identifier->append(counter.begin(), counter.end());
      }
      text += *identifier;
      text += u'$';
      text.append(digest.begin(), digest.end());
      text += u"\r\n";
      used.push_back(std::move(*identifier));
    }
    // The whole converted text: an identifier in a double-byte code page converts to more bytes than it
    // has characters, and cutting at the character count would leave the last pages out.
    const std::string bytes = platform::text::FromUtf16(text, platform::text::kCpAcp);
    support::Sha1 whole;
    whole.Update(std::string_view(bytes));
    std::uint8_t fingerprint[29] = {};
    whole.Final(fingerprint, support::Sha1Output::Text);
    support::Trace(u"结束电子签章模式(兼容)Hash文档");
    return std::u16string(fingerprint, fingerprint + 28);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace sealrun::verify
