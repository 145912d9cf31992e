// Did a later revision change what a signed revision's pages show? The signed revision is opened as a
// document of its own and its pages are compared object by object with the current document.
#include <cstring>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "platform/pdfengine/PageTree.h"
#include "platform/pdfengine/SignatureFile.h"

namespace sealrun::platform::pdfengine {
namespace {

constexpr int kMaxDepth = 100;

class Comparer {
 public:
  Comparer(fz_context* ctx, pdf_document* before, pdf_document* now) : ctx_(ctx), before_(before), now_(now) {}

  // Only resolving a reference and asking whether an object is a stream can load from the file and throw;
  // they run inside the engine's exception frame. Every other read below is of an object already in
  // memory (a resolved one, or a reference itself), which cannot throw, so it goes without a frame.
  bool Equal(pdf_obj* a, pdf_obj* b, int depth) {
    if (depth > kMaxDepth) return false;
    const bool indirectA = pdf_is_indirect(ctx_, a) != 0;
    const bool indirectB = pdf_is_indirect(ctx_, b) != 0;
    int numA = 0;
    int numB = 0;
    if (indirectA && indirectB) {
      numA = pdf_to_num(ctx_, a);
      numB = pdf_to_num(ctx_, b);
      // Already compared or being compared (a cycle): the answer comes from the first visit.
      if (!visited_.insert({numA, numB}).second) return true;
    }
    pdf_obj* ra = indirectA ? Mu(ctx_, [&] { return pdf_resolve_indirect_chain(ctx_, a); }) : a;
    pdf_obj* rb = indirectB ? Mu(ctx_, [&] { return pdf_resolve_indirect_chain(ctx_, b); }) : b;
    if (pdf_is_null(ctx_, ra) && pdf_is_null(ctx_, rb)) return true;
    if (pdf_is_int(ctx_, ra)) return pdf_is_int(ctx_, rb) && pdf_to_int64(ctx_, ra) == pdf_to_int64(ctx_, rb);
    if (pdf_is_real(ctx_, ra)) return pdf_is_real(ctx_, rb) && pdf_to_real(ctx_, ra) == pdf_to_real(ctx_, rb);
    if (pdf_is_bool(ctx_, ra)) return pdf_is_bool(ctx_, rb) && pdf_to_bool(ctx_, ra) == pdf_to_bool(ctx_, rb);
    if (pdf_is_name(ctx_, ra))
      return pdf_is_name(ctx_, rb) && std::strcmp(pdf_to_name(ctx_, ra), pdf_to_name(ctx_, rb)) == 0;
    if (pdf_is_string(ctx_, ra)) {
      const std::size_t length = pdf_to_str_len(ctx_, ra);
      return pdf_is_string(ctx_, rb) && pdf_to_str_len(ctx_, rb) == length &&
             std::memcmp(pdf_to_str_buf(ctx_, ra), pdf_to_str_buf(ctx_, rb), length) == 0;
    }
    if (pdf_is_array(ctx_, ra)) {
      if (!pdf_is_array(ctx_, rb)) return false;
      const int length = pdf_array_len(ctx_, ra);
      if (length != pdf_array_len(ctx_, rb)) return false;
      for (int i = 0; i < length; ++i)
        if (!Equal(pdf_array_get(ctx_, ra, i), pdf_array_get(ctx_, rb, i), depth + 1)) return false;
      return true;
    }
    if (pdf_is_dict(ctx_, ra)) {
      if (!pdf_is_dict(ctx_, rb)) return false;
      const int length = pdf_dict_len(ctx_, ra);
      if (length != pdf_dict_len(ctx_, rb)) return false;
      for (int i = 0; i < length; ++i) {
        pdf_obj* key = pdf_dict_get_key(ctx_, ra, i);
        pdf_obj* other = pdf_dict_get(ctx_, rb, key);
        if (other == nullptr) return false;
        // The page's parent link is the page tree's business, compared by page order.
        if (pdf_name_eq(ctx_, key, PDF_NAME(Parent))) continue;
        if (!Equal(pdf_dict_get_val(ctx_, ra, i), other, depth + 1)) return false;
      }
      const bool streamA = indirectA && Mu(ctx_, [&] { return pdf_is_stream(ctx_, a); });
      const bool streamB = indirectB && Mu(ctx_, [&] { return pdf_is_stream(ctx_, b); });
      if (streamA != streamB) return false;
      if (streamA && !SameStreamBytes(numA, numB)) return false;
      return true;
    }
    return false;
  }

 private:
  bool SameStreamBytes(int numA, int numB) {
    fz_buffer* x = Mu(ctx_, [&] { return pdf_load_raw_stream_number(ctx_, before_, numA); });
    fz_buffer* y = nullptr;
    try {
      y = Mu(ctx_, [&] { return pdf_load_raw_stream_number(ctx_, now_, numB); });
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
  pdf_document* before_;
  pdf_document* now_;
  std::set<std::pair<int, int>> visited_;
};

struct DocHolder {
  fz_context* ctx;
  pdf_document* doc;
  ~DocHolder() { pdf_drop_document(ctx, doc); }
};

pdf_document* OpenRevision(fz_context* ctx, const std::string& bytes) {
  return Mu(ctx, [&] {
    fz_buffer* buffer = fz_new_buffer_from_copied_data(ctx, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    fz_stream* stream = nullptr;
    pdf_document* doc = nullptr;
    fz_var(stream);
    fz_var(doc);
    fz_try(ctx) {
      stream = fz_open_buffer(ctx, buffer);
      doc = pdf_open_document_with_stream(ctx, stream);
      if (pdf_needs_password(ctx, doc) || doc->crypt != nullptr) pdf_authenticate_password(ctx, doc, "");
    }
    fz_always(ctx) {
      fz_drop_stream(ctx, stream);
      fz_drop_buffer(ctx, buffer);
    }
    fz_catch(ctx) {
      pdf_drop_document(ctx, doc);
      fz_rethrow(ctx);
    }
    return doc;
  });
}

}  // namespace

bool PagesChangedSince(qp_document document, const std::string& signedRevision) {
  fz_context* ctx = document->ctx;
  pdf_document* now = document->doc;
  DocHolder before{ctx, OpenRevision(ctx, signedRevision)};
  const PageTreeWalk walkBefore = WalkPageTree(ctx, before.doc);
  const PageTreeWalk walkNow = WalkPageTree(ctx, now);
  const int pages = PagesHeld(ctx, before.doc, walkBefore);
  if (pages != PagesHeld(ctx, now, walkNow)) return true;
  // The walk stands in for the lookups only where the lookups would find the same pages.
  const std::vector<pdf_obj*>* pagesBefore = walkBefore.sound ? &walkBefore.pages : nullptr;
  const std::vector<pdf_obj*>* pagesNow = walkNow.sound ? &walkNow.pages : nullptr;
  const bool walked = pagesBefore != nullptr && pagesNow != nullptr;
  Comparer comparer(ctx, before.doc, now);
  for (int i = 0; i < pages; ++i) {
    pdf_obj* a = walked ? (*pagesBefore)[i] : Mu(ctx, [&] { return pdf_lookup_page_obj(ctx, before.doc, i); });
    pdf_obj* b = walked ? (*pagesNow)[i] : Mu(ctx, [&] { return pdf_lookup_page_obj(ctx, now, i); });
    if (ObjNumber(ctx, a) != ObjNumber(ctx, b)) return true;
    if (!comparer.Equal(Mu(ctx, [&] { return pdf_dict_get(ctx, a, PDF_NAME(Contents)); }),
                        Mu(ctx, [&] { return pdf_dict_get(ctx, b, PDF_NAME(Contents)); }), 0))
      return true;
    for (pdf_obj* key : {PDF_NAME(Resources), PDF_NAME(MediaBox), PDF_NAME(CropBox), PDF_NAME(Rotate)}) {
      if (!comparer.Equal(Mu(ctx, [&] { return pdf_dict_get_inheritable(ctx, a, key); }),
                          Mu(ctx, [&] { return pdf_dict_get_inheritable(ctx, b, key); }), 0))
        return true;
    }
  }
  return false;
}

}  // namespace sealrun::platform::pdfengine
