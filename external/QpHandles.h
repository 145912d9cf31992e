#pragma once
// One owner per kind of engine handle, each releasing its handle with the function qp.h names for it, so
// that every handle is released on every path by construction. The release functions accept null, so an
// owner may hold whatever a failed call left behind. Beside them the few steps every caller takes the same
// way: starting the engine, opening a document by its UTF-16 path, loading a page, making an engine string.
#include <cstdint>
#include <memory>
#include <string_view>

#include "external/qp.h"
#include "platform/text/Utf.h"

namespace sealrun::external {

template <auto Release>
struct QpRelease {
  template <typename Handle>
  void operator()(Handle* handle) const { Release(handle); }
};

using EngineHandle = std::unique_ptr<qp_engine_s, QpRelease<qp_cleanup>>;
using DocumentHandle = std::unique_ptr<qp_document_s, QpRelease<qp_document_close>>;
using PageHandle = std::unique_ptr<qp_page_s, QpRelease<qp_free_page>>;
using CosHandle = std::unique_ptr<qp_cos_s, QpRelease<qp_cos_delete>>;
using TextHandle = std::unique_ptr<qp_text_s, QpRelease<qp_page_close_text>>;
using SearchHandle = std::unique_ptr<qp_search_s, QpRelease<qp_search_free>>;
using ImageHandle = std::unique_ptr<qp_image_s, QpRelease<qp_image_free>>;
using StringHandle = std::unique_ptr<qp_string_s, QpRelease<qp_string_delete>>;
using SignatureHandle = std::unique_ptr<qp_signature_s, QpRelease<qp_field_free_signature>>;
using CertificateHandle = std::unique_ptr<qp_certificate_s, QpRelease<qp_certificate_free>>;
using HashHandle = std::unique_ptr<qp_hash_s, QpRelease<qp_hash_destroy>>;

// The one flags value qp_startup accepts besides 0.
inline constexpr std::uint32_t kStartupFlags = 0x20000000;

// The engine, or null when it does not start.
inline EngineHandle StartEngine() {
  qp_engine engine = nullptr;
  const int started = qp_startup(&engine, kStartupFlags, 0, 0, 0);
  EngineHandle handle(engine);
  if (started != QP_OK) return nullptr;
  return handle;
}

// Opens a file by its UTF-16 path: the engine's result, and the document in `document` only when it opened
// (the handle a failed open leaves is closed).
inline int OpenDocument(qp_engine engine, std::u16string_view path, DocumentHandle& document) {
  qp_document raw = nullptr;
  const int opened = qp_document_open(engine, &raw, platform::text::Utf16ToUtf8(path).c_str());
  document.reset(raw);
  if (opened != QP_OK) document.reset();
  return opened;
}

// The document, or null when the engine cannot open it.
inline DocumentHandle OpenDocument(qp_engine engine, std::u16string_view path) {
  DocumentHandle document;
  OpenDocument(engine, path, document);
  return document;
}

// The time one file's work may take in the engine, from opening it to its result: a hostile file that would
// keep the engine busy for minutes fails with QP_ERR_LIMIT and the batch goes on.
inline constexpr std::uint32_t kFileTimeBudgetMs = 120000;

// Runs the file's time budget for as long as it lives; the engine has none outside.
class FileTimeBudget {
 public:
  explicit FileTimeBudget(qp_engine engine, std::uint32_t milliseconds = kFileTimeBudgetMs) : engine_(engine) {
    qp_engine_set_time_budget(engine_, milliseconds);
  }
  ~FileTimeBudget() { qp_engine_set_time_budget(engine_, 0); }
  FileTimeBudget(const FileTimeBudget&) = delete;
  FileTimeBudget& operator=(const FileTimeBudget&) = delete;

 private:
  qp_engine engine_;
};

// The page, or null when the index does not exist or the engine fails.
inline PageHandle LoadPage(qp_document document, int pageIndex) {
  qp_page page = nullptr;
  const int loaded = qp_load_page(document, pageIndex, &page);
  PageHandle handle(page);
  if (loaded != QP_OK) return nullptr;
  return handle;
}

// The object number of an annotation's dictionary (how a seal annotation is told apart); 0 when the engine
// gives none.
inline int AnnotationObjectNumber(qp_annot annotation) {
  const CosHandle dict(qp_annot_get_cosobject(annotation));
  return dict ? qp_cos_obj_num(dict.get()) : 0;
}

// An engine string holding the text, or null when the engine cannot make one.
inline StringHandle MakeEngineString(std::u16string_view text) {
  StringHandle handle(qp_string_create());
  if (!handle) return nullptr;
  if (qp_string_append_ucs(handle.get(), reinterpret_cast<const uint16_t*>(text.data()),
                           static_cast<int>(text.size())) != QP_OK)
    return nullptr;
  return handle;
}

}  // namespace sealrun::external
