#pragma once
// What the engine's handles hold, and the two guards every qp_ function goes through: MuPDF errors
// (longjmp) become C++ exceptions at the MuPDF call, and exceptions become result codes at the C API.
#include <cstdint>
#include <list>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

extern "C" {
#include <mupdf/fitz.h>
#include <mupdf/pdf.h>
}

#include "platform/pdfengine/EngineBudget.h"
#include "platform/pdfengine/FileReplacement.h"
#include "platform/pdfengine/MuPdfVersion.h"

#include "external/qp.h"

namespace sealrun::platform::pdfengine {

struct RevisionMap;
class ObjectSources;
class PageIndex;

// A failure with the result code the C API gives for it.
class EngineError : public std::runtime_error {
 public:
  EngineError(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

[[noreturn]] void ThrowCaught(fz_context* ctx);
[[noreturn]] inline void Fail(int code, const std::string& what) { throw EngineError(code, what); }

// Runs fn(arg) inside a MuPDF try block; false when MuPDF raised an error (left as the caught one).
bool MuRun(fz_context* ctx, void (*fn)(void*), void* arg) noexcept;

// Runs MuPDF calls. The callable must hold only trivially destructible locals: a MuPDF error
// longjmps out of it and is rethrown here as an EngineError.
template <class F>
auto Mu(fz_context* ctx, F&& f) -> decltype(f()) {
  using R = decltype(f());
  if constexpr (std::is_void_v<R>) {
    auto thunk = [&] { f(); };
    if (!MuRun(ctx, [](void* p) { (*static_cast<decltype(thunk)*>(p))(); }, &thunk)) ThrowCaught(ctx);
  } else {
    R result{};
    auto thunk = [&] { result = f(); };
    if (!MuRun(ctx, [](void* p) { (*static_cast<decltype(thunk)*>(p))(); }, &thunk)) ThrowCaught(ctx);
    return result;
  }
}

// The C API boundary: a result code for every failure; `onError` for functions returning values.
void TraceFailure(const char* function, const char* what);
template <class R, class F>
R Guard(const char* function, R onError, F&& f) noexcept {
  try {
    return f();
  } catch (const EngineError& error) {
    TraceFailure(function, error.what());
    if constexpr (std::is_same_v<R, int>) {
      if (onError == QP_ERR_ENGINE) return error.Code();
    }
    return onError;
  } catch (const std::bad_alloc&) {
    TraceFailure(function, "out of memory");
    return onError;
  } catch (const std::exception& error) {
    TraceFailure(function, error.what());
    return onError;
  } catch (...) {
    TraceFailure(function, "unknown failure");
    return onError;
  }
}
// For functions whose result is a code: the failure's own code.
template <class F>
int GuardCode(const char* function, F&& f) noexcept {
  return Guard<int>(function, QP_ERR_ENGINE, std::forward<F>(f));
}

// Owns one reference to a pdf_obj.
struct ObjDrop {
  fz_context* ctx;
  void operator()(pdf_obj* obj) const { pdf_drop_obj(ctx, obj); }
};

}  // namespace sealrun::platform::pdfengine

struct qp_engine_s {
  sealrun::platform::pdfengine::EngineBudget budget;  // made before the context, which allocates through it
  fz_context* ctx = nullptr;
  int openDocuments = 0;
  // Folders whose copies left by killed runs were already removed by this engine.
  std::unordered_set<std::string> sweptFolders;
};

struct qp_cos_s {
  qp_document document = nullptr;
  pdf_obj* obj = nullptr;  // one reference held
  qp_cos_s() = default;
  qp_cos_s(const qp_cos_s&) = delete;
  qp_cos_s& operator=(const qp_cos_s&) = delete;
  ~qp_cos_s();
};

struct qp_field_s {
  qp_document document = nullptr;
  pdf_obj* obj = nullptr;  // one reference held
  qp_field next = nullptr;
  qp_field_s() = default;
  qp_field_s(const qp_field_s&) = delete;
  qp_field_s& operator=(const qp_field_s&) = delete;
  ~qp_field_s();
};

struct qp_document_s {
  qp_engine engine = nullptr;
  fz_context* ctx = nullptr;
  pdf_document* doc = nullptr;
  // Documents read before a save; handles taken then still point into them.
  std::vector<pdf_document*> retired;
  // The file, symbolic links resolved: a save replaces it and keeps the links. Empty for a revision opened as
  // a document of its own: it cannot be saved.
  std::string path;
  std::string readPath;  // where the document is read from: path, or the staged copy (a revision: its file's)
  std::int64_t readLength = -1;  // how much of readPath the document is read from (the whole file: -1)
  sealrun::platform::pdfengine::FileIdentity identity;  // of path when it was opened (or last replaced by this document)
  bool repaired = false;
  // Staged saving: saves collect in a copy beside the file, which replaces it at qp_document_commit only.
  bool staged = false;
  std::unique_ptr<sealrun::platform::pdfengine::CopyBeside> stagedCopy;
  std::unique_ptr<sealrun::platform::pdfengine::ReplacementLock> lock;  // held from the first staged save to the commit
  // The revisions of the file as read, worked out on first use for `revisionsOf`.
  std::unique_ptr<sealrun::platform::pdfengine::RevisionMap> revisions;
  pdf_document* revisionsOf = nullptr;
  // The page objects in order, kept for a revision opened as a document (nothing changes it).
  std::vector<int> pageNumbers;
  std::unordered_map<qp_cos_s*, std::unique_ptr<qp_cos_s>> objects;
  std::unordered_map<qp_field_s*, std::unique_ptr<qp_field_s>> fields;
  // Where objects of `doc` are written in the file, for qp_cos_walk (made when first needed).
  std::unique_ptr<sealrun::platform::pdfengine::ObjectSources> sources;
  // The page objects in page order, for qp_load_page.
  std::unique_ptr<sealrun::platform::pdfengine::PageIndex> pages;

  qp_document_s() = default;
  qp_document_s(const qp_document_s&) = delete;
  qp_document_s& operator=(const qp_document_s&) = delete;
  ~qp_document_s();
};

struct qp_annot_s {
  qp_page page = nullptr;
  pdf_obj* obj = nullptr;  // one reference held
  qp_annot next = nullptr;
  // The image last set as appearance, kept so an update can rebuild it.
  pdf_obj* imageRef = nullptr;
  qp_annot_s() = default;
  qp_annot_s(const qp_annot_s&) = delete;
  qp_annot_s& operator=(const qp_annot_s&) = delete;
  ~qp_annot_s();
};

struct qp_page_s {
  qp_document document = nullptr;
  pdf_document* doc = nullptr;  // the document the page was loaded from
  pdf_obj* obj = nullptr;       // page dictionary, one reference held
  int index = 0;
  std::list<std::unique_ptr<qp_annot_s>> annots;

  qp_page_s() = default;
  qp_page_s(const qp_page_s&) = delete;
  qp_page_s& operator=(const qp_page_s&) = delete;
  ~qp_page_s();
};

struct qp_text_s {
  std::vector<qp_char_info> chars;
};

struct qp_search_s {
  std::u32string needle;
  int first = -1;
  int count = 0;
};

struct qp_string_s {
  std::u16string text;
};

struct qp_certificate_s {
  std::vector<unsigned char> der;
};

struct qp_image_s {
  qp_document document = nullptr;
  bool jpeg = false;
  std::string bytes;  // JPEG file bytes, or pixel rows
  int width = 0;
  int height = 0;
  int bitsPerComponent = 8;
  int colorSpace = QP_COLORSPACE_RGB;
  int components = 3;  // of the JPEG
  std::string palette;
  std::unique_ptr<qp_image_s> softMask;
  std::vector<int> maskKey;
};

struct qp_signature_s {
  qp_document document = nullptr;
  int fieldNum = 0;  // the field's object number; fields are looked up again after a save
  std::string name;  // UTF-8, for /Name
};

namespace sealrun::platform::pdfengine {

// Handles for objects, owned by the document.
qp_cos WrapObject(qp_document document, pdf_obj* obj);  // takes a new reference
pdf_obj* Unwrap(qp_cos object);                          // null for a null handle
qp_field WrapField(qp_document document, pdf_obj* obj);

// The object number of an indirect object, whether `obj` is the reference or the object itself;
// 0 for a direct object.
int ObjNumber(fz_context* ctx, pdf_obj* obj);

// What the engine's objects alone tell of how a value was written (qp_cos_to_double, qp_cos_string_is_hex):
// the shortest decimal of a 32-bit real, and whether a string's bytes call for the hex form.
double FloatAsWritten(float value);
bool StringLooksBinary(const unsigned char* bytes, std::size_t length);

// The current document's object for the field of a signature (throws when gone).
pdf_obj* SignatureField(qp_signature signature);

// Page geometry: MediaBox (inherited), rotation, and the displayed-frame to user-space mapping.
fz_rect PageBox(fz_context* ctx, pdf_obj* page, int kind);
int PageRotation(fz_context* ctx, pdf_obj* page);
fz_rect DisplayedToUser(fz_rect displayed, fz_rect mediaBox, int rotation);

// Image objects and appearances.
pdf_obj* AddImageObject(fz_context* ctx, pdf_document* doc, const qp_image_s& image);  // new ref
void SetImageAppearance(fz_context* ctx, pdf_document* doc, pdf_obj* annot, pdf_obj* imageRef,
                        int rotation);
int AnnotRotation(fz_context* ctx, pdf_obj* annot);

// Flate compression of stream data.
std::string Deflate(const std::string& data);

// Opens the PDF in the first `length` bytes of the file (all of it: -1), authenticating the empty user
// password; whether the cross-reference had to be rebuilt.
pdf_document* OpenPdf(fz_context* ctx, const std::string& path, std::int64_t length, bool* repaired);

}  // namespace sealrun::platform::pdfengine
