// Objects by number, the trailer, comparing objects of two documents, and where a page stands: what the
// comparison of a document with an earlier revision of itself reads.
#include <algorithm>
#include <cstring>

#include "platform/pdfengine/Internal.h"
#include "platform/pdfengine/PageTree.h"

using namespace sealrun::platform::pdfengine;

namespace {

constexpr int kMaxDepth = 100;

// Compares two objects of (maybe) different documents. Only resolving a reference, asking whether an
// object is a stream and reading stream bytes can load from a file and throw; those run inside the
// engine's exception frame.
class Sameness {
 public:
  explicit Sameness(fz_context* ctx) : ctx_(ctx) {}

  // Top level: references are followed.
  bool Objects(pdf_obj* a, pdf_obj* b) {
    const bool streams = IsStream(a);
    if (streams != IsStream(b)) return false;
    skipLength_ = streams;
    if (!Values(Resolve(a), Resolve(b), 0)) return false;
    return !streams || SameStoredBytes(a, b);
  }

 private:
  pdf_obj* Resolve(pdf_obj* obj) {
    return pdf_is_indirect(ctx_, obj) ? Mu(ctx_, [&] { return pdf_resolve_indirect_chain(ctx_, obj); }) : obj;
  }

  bool IsStream(pdf_obj* obj) {
    return pdf_is_indirect(ctx_, obj) && Mu(ctx_, [&] { return pdf_is_stream(ctx_, obj); }) != 0;
  }

  // Below the top level a reference stands for itself: the objects it points to are compared on their
  // own when they changed.
  bool Values(pdf_obj* a, pdf_obj* b, int depth) {
    if (depth > kMaxDepth) return false;
    const bool indirectA = pdf_is_indirect(ctx_, a) != 0;
    if (indirectA || pdf_is_indirect(ctx_, b) != 0)
      return depth > 0 && indirectA && pdf_is_indirect(ctx_, b) && pdf_to_num(ctx_, a) == pdf_to_num(ctx_, b);
    if (pdf_is_null(ctx_, a) || pdf_is_null(ctx_, b)) return pdf_is_null(ctx_, a) && pdf_is_null(ctx_, b);
    if (pdf_is_int(ctx_, a)) return pdf_is_int(ctx_, b) && pdf_to_int64(ctx_, a) == pdf_to_int64(ctx_, b);
    if (pdf_is_real(ctx_, a)) return pdf_is_real(ctx_, b) && pdf_to_real(ctx_, a) == pdf_to_real(ctx_, b);
    if (pdf_is_bool(ctx_, a)) return pdf_is_bool(ctx_, b) && pdf_to_bool(ctx_, a) == pdf_to_bool(ctx_, b);
    if (pdf_is_name(ctx_, a))
      return pdf_is_name(ctx_, b) && std::strcmp(pdf_to_name(ctx_, a), pdf_to_name(ctx_, b)) == 0;
    if (pdf_is_string(ctx_, a)) {
      const std::size_t length = pdf_to_str_len(ctx_, a);
      return pdf_is_string(ctx_, b) && pdf_to_str_len(ctx_, b) == length &&
             std::memcmp(pdf_to_str_buf(ctx_, a), pdf_to_str_buf(ctx_, b), length) == 0;
    }
    if (pdf_is_array(ctx_, a)) {
      const int length = pdf_array_len(ctx_, a);
      if (!pdf_is_array(ctx_, b) || pdf_array_len(ctx_, b) != length) return false;
      for (int i = 0; i < length; ++i)
        if (!Values(pdf_array_get(ctx_, a, i), pdf_array_get(ctx_, b, i), depth + 1)) return false;
      return true;
    }
    if (pdf_is_dict(ctx_, a)) return pdf_is_dict(ctx_, b) && Contains(a, b, depth) && Contains(b, a, depth);
    return false;
  }

  // Every entry of `a` is in `b` with the same value; a stream's /Length is its stored bytes' business.
  bool Contains(pdf_obj* a, pdf_obj* b, int depth) {
    const int length = pdf_dict_len(ctx_, a);
    for (int i = 0; i < length; ++i) {
      pdf_obj* key = pdf_dict_get_key(ctx_, a, i);
      pdf_obj* value = pdf_dict_get_val(ctx_, a, i);
      if (depth == 0 && skipLength_ && pdf_name_eq(ctx_, key, PDF_NAME(Length))) continue;
      pdf_obj* other = pdf_dict_get(ctx_, b, key);
      if (other == nullptr && pdf_is_null(ctx_, value)) continue;
      if (other == nullptr || !Values(value, other, depth + 1)) return false;
    }
    return true;
  }

  bool SameStoredBytes(pdf_obj* a, pdf_obj* b) {
    fz_buffer* x = Mu(ctx_, [&] { return pdf_load_raw_stream(ctx_, a); });
    fz_buffer* y = nullptr;
    try {
      y = Mu(ctx_, [&] { return pdf_load_raw_stream(ctx_, b); });
    } catch (...) {
      fz_drop_buffer(ctx_, x);
      throw;
    }
    unsigned char* px = nullptr;
    unsigned char* py = nullptr;
    const std::size_t nx = fz_buffer_storage(ctx_, x, &px);
    const std::size_t ny = fz_buffer_storage(ctx_, y, &py);
    const bool same = nx == ny && (nx == 0 || std::memcmp(px, py, nx) == 0);
    fz_drop_buffer(ctx_, x);
    fz_drop_buffer(ctx_, y);
    return same;
  }

  fz_context* ctx_;
  bool skipLength_ = false;
};

// The page numbers of a document in order; for a revision opened on its own they are worked out once.
std::vector<int> PageNumbers(qp_document document) {
  if (!document->pageNumbers.empty()) return document->pageNumbers;
  fz_context* ctx = document->ctx;
  pdf_document* doc = document->doc;
  std::vector<int> numbers;
  if (const auto pages = PagesInOrder(ctx, doc)) {
    for (pdf_obj* page : *pages) numbers.push_back(pdf_is_indirect(ctx, page) ? pdf_to_num(ctx, page) : 0);
  } else {
    const int count = PagesHeld(ctx, doc);
    for (int i = 0; i < count; ++i)
      numbers.push_back(ObjNumber(ctx, Mu(ctx, [&] { return pdf_lookup_page_obj(ctx, doc, i); })));
  }
  if (document->path.empty()) document->pageNumbers = numbers;
  return numbers;
}

// The page's index by its /Parent chain: pages before it in each parent's /Kids, their counts for inner
// nodes. The chain must end at the catalog's page tree and the index lead back to the same page.
int IndexByParents(fz_context* ctx, pdf_document* doc, int number) {
  pdf_obj* page = Mu(ctx, [&] { return pdf_new_indirect(ctx, doc, number, 0); });
  int index = -1;
  try {
    index = Mu(ctx, [&] { return pdf_lookup_page_number(ctx, doc, page); });
  } catch (const EngineError&) {
    index = -1;
  }
  pdf_drop_obj(ctx, page);
  if (index < 0) return -1;
  const int count = Mu(ctx, [&] { return pdf_count_pages(ctx, doc); });
  if (index >= count) return -1;
  pdf_obj* found = Mu(ctx, [&] { return pdf_lookup_page_obj(ctx, doc, index); });
  return ObjNumber(ctx, found) == number ? index : -1;
}

int CopyNumbers(const std::vector<int>& numbers, int* into, int* count) {
  if (count == nullptr) Fail(QP_ERR_ARGUMENT, "no count");
  const int needed = static_cast<int>(numbers.size());
  const bool asked = into != nullptr;
  const bool fits = asked && *count >= needed;
  if (fits) std::copy(numbers.begin(), numbers.end(), into);
  *count = needed;
  return !asked || fits ? QP_OK : static_cast<int>(QP_ERR_BUFFER);
}

}  // namespace

extern "C" qp_cos qp_document_object(qp_document document, int objectNumber) {
  return Guard<qp_cos>(__func__, nullptr, [&]() -> qp_cos {
    if (document == nullptr || objectNumber <= 0) return nullptr;
    fz_context* ctx = document->ctx;
    pdf_document* doc = document->doc;
    // Loading tells a number in use from a free or unused one (those load as null or fail).
    const bool inUse = Mu(ctx, [&] {
      if (objectNumber >= pdf_xref_len(ctx, doc)) return false;
      const pdf_xref_entry* entry = pdf_get_xref_entry(ctx, doc, objectNumber);
      if (entry == nullptr || entry->type == 0 || entry->type == 'f') return false;
      return !pdf_is_null(ctx, pdf_cache_object(ctx, doc, objectNumber)->obj);
    });
    if (!inUse) return nullptr;
    pdf_obj* reference = Mu(ctx, [&] { return pdf_new_indirect(ctx, doc, objectNumber, 0); });
    qp_cos handle = nullptr;
    try {
      handle = WrapObject(document, reference);
    } catch (...) {
      pdf_drop_obj(ctx, reference);
      throw;
    }
    pdf_drop_obj(ctx, reference);
    return handle;
  });
}

extern "C" qp_cos qp_document_trailer(qp_document document) {
  return Guard<qp_cos>(__func__, nullptr, [&]() -> qp_cos {
    if (document == nullptr) return nullptr;
    return WrapObject(document, pdf_trailer(document->ctx, document->doc));
  });
}

extern "C" int qp_cos_same(qp_cos a, qp_cos b) {
  return Guard<int>(__func__, -1, [&] {
    if (a == nullptr || b == nullptr) Fail(QP_ERR_ARGUMENT, "no object");
    return Sameness(a->document->ctx).Objects(a->obj, b->obj) ? 1 : 0;
  });
}

extern "C" int qp_document_page_index(qp_document document, int objectNumber) {
  return Guard<int>(__func__, -1, [&] {
    if (document == nullptr || objectNumber <= 0) Fail(QP_ERR_ARGUMENT, "no page object");
    if (!document->pageNumbers.empty()) {
      const auto& numbers = document->pageNumbers;
      const auto at = std::find(numbers.begin(), numbers.end(), objectNumber);
      return at == numbers.end() ? -1 : static_cast<int>(at - numbers.begin());
    }
    return IndexByParents(document->ctx, document->doc, objectNumber);
  });
}

extern "C" int qp_document_page_objects(qp_document document, int* numbers, int* count) {
  return GuardCode(__func__, [&] {
    if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    return CopyNumbers(PageNumbers(document), numbers, count);
  });
}
