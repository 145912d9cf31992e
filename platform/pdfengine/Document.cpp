// Documents: open (repairing a damaged cross-reference, authenticating the empty user password),
// atomic incremental save, permissions, and the object handles a document owns.
#include <cstring>

#include "platform/pdfengine/AtomicFile.h"
#include "platform/pdfengine/FileStream.h"
#include "platform/pdfengine/Internal.h"
#include "platform/pdfengine/RevisionMap.h"
#include "platform/pdfengine/ObjectSources.h"
#include "platform/pdfengine/PageIndex.h"
#include "platform/pdfengine/RepairedUpdate.h"
#include "platform/pdfengine/SignatureFile.h"

using namespace sealrun::platform::pdfengine;

namespace sealrun::platform::pdfengine {

pdf_document* OpenPdf(fz_context* ctx, const std::string& path, std::int64_t length, bool* repaired) {
  pdf_document* doc = Mu(ctx, [&] {
    fz_stream* stream = OpenFileStream(ctx, path, length);
    pdf_document* opened = nullptr;
    fz_var(opened);
    fz_try(ctx) { opened = pdf_open_document_with_stream(ctx, stream); }
    fz_always(ctx) { fz_drop_stream(ctx, stream); }
    fz_catch(ctx) { fz_rethrow(ctx); }
    return opened;
  });
  try {
    const bool encrypted = Mu(ctx, [&] { return pdf_needs_password(ctx, doc) != 0 || doc->crypt != nullptr; });
    // Changes to an encrypted file are encrypted with keys that only exist after authentication.
    if (encrypted && Mu(ctx, [&] { return pdf_authenticate_password(ctx, doc, ""); }) == 0)
      Fail(QP_ERR_PASSWORD, "the document needs a password");
    // Counting the pages walks the page tree, which is where a damaged file is repaired.
    const int pages = Mu(ctx, [&] { return pdf_count_pages(ctx, doc); });
    if (pages < 0) Fail(QP_ERR_OPEN, "no page tree");
    *repaired = Mu(ctx, [&] { return pdf_was_repaired(ctx, doc); }) != 0;
  } catch (...) {
    pdf_drop_document(ctx, doc);
    throw;
  }
  return doc;
}

}  // namespace sealrun::platform::pdfengine

qp_document_s::~qp_document_s() {
  sources.reset();
  pages.reset();
  fields.clear();
  objects.clear();
  if (ctx != nullptr) {
    for (pdf_document* old : retired) pdf_drop_document(ctx, old);
    pdf_drop_document(ctx, doc);
  }
}

namespace sealrun::platform::pdfengine {

qp_cos WrapObject(qp_document document, pdf_obj* obj) {
  if (document == nullptr || obj == nullptr) return nullptr;
  auto handle = std::make_unique<qp_cos_s>();
  handle->document = document;
  handle->obj = pdf_keep_obj(document->ctx, obj);
  qp_cos raw = handle.get();
  document->objects.emplace(raw, std::move(handle));
  return raw;
}

pdf_obj* Unwrap(qp_cos object) { return object == nullptr ? nullptr : object->obj; }

void PutCopyInPlace(qp_document document, std::unique_ptr<CopyBeside> copy) {
  qp_engine engine = document->engine;
  const std::string folder = FolderOf(document->path);
  if (engine->sweptFolders.insert(folder).second) RemoveStaleCopies(folder);
  if (document->staged) {
    // The file itself is untouched until the commit; the lock keeps other runs from replacing it meanwhile.
    if (!document->lock) document->lock = std::make_unique<ReplacementLock>(document->path, document->identity);
    document->stagedCopy = std::move(copy);  // an earlier staged copy is removed here
    document->readPath = document->stagedCopy->Path();
  } else {
    const ReplacementLock lock(document->path, document->identity);
    if (!CommitReplacement(copy->Path(), document->path)) Fail(QP_ERR_SAVE, "the saved copy could not replace the file");
    copy->Keep();
    if (const auto identity = IdentityOf(document->path)) document->identity = *identity;
  }
  // Read the document back from what was written, so a later change starts a new update.
  ReloadDocument(document);
}

void ReloadDocument(qp_document document) {
  bool repaired = false;
  pdf_document* reopened = OpenPdf(document->ctx, document->readPath, -1, &repaired);
  document->retired.push_back(document->doc);
  document->doc = reopened;
  document->sources.reset();
  document->repaired = repaired;
}

qp_field WrapField(qp_document document, pdf_obj* obj) {
  auto handle = std::make_unique<qp_field_s>();
  handle->document = document;
  handle->obj = pdf_keep_obj(document->ctx, obj);
  qp_field raw = handle.get();
  document->fields.emplace(raw, std::move(handle));
  return raw;
}

}  // namespace sealrun::platform::pdfengine

qp_cos_s::~qp_cos_s() {
  if (document != nullptr) pdf_drop_obj(document->ctx, obj);
}

qp_field_s::~qp_field_s() {
  if (document != nullptr) pdf_drop_obj(document->ctx, obj);
}

extern "C" int qp_document_open(qp_engine engine, qp_document* document, const char* utf8Path) {
  return GuardCode(__func__, [&] {
    if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document slot");
    *document = nullptr;
    if (engine == nullptr || utf8Path == nullptr || *utf8Path == 0) Fail(QP_ERR_ARGUMENT, "no path");
    EnforceBudget(engine->ctx);
    auto opened = std::make_unique<qp_document_s>();
    opened->engine = engine;
    opened->ctx = engine->ctx;
    opened->path = ResolvedPath(utf8Path);
    opened->readPath = opened->path;
    if (const auto identity = IdentityOf(opened->path)) opened->identity = *identity;
    try {
      opened->doc = OpenPdf(engine->ctx, opened->path, -1, &opened->repaired);
    } catch (const EngineError& error) {
      if (error.Code() == QP_ERR_ENGINE) Fail(QP_ERR_OPEN, error.what());
      throw;
    }
    ++engine->openDocuments;
    *document = opened.release();
    return QP_OK;
  });
}

extern "C" int qp_document_close(qp_document document) {
  return GuardCode(__func__, [&] {
    if (document == nullptr) return QP_OK;
    std::unique_ptr<qp_document_s> owned(document);
    --owned->engine->openDocuments;
    return QP_OK;
  });
}

extern "C" int qp_document_save(qp_document document) {
  return GuardCode(__func__, [&] {
    if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    fz_context* ctx = document->ctx;
    pdf_document* doc = document->doc;
    if (Mu(ctx, [&] { return pdf_has_unsaved_changes(ctx, doc); }) == 0) return QP_OK;
    if (document->path.empty()) Fail(QP_ERR_SAVE, "a revision opened on its own cannot be saved");
    if (!IsWritable(document->path)) Fail(QP_ERR_SAVE, "the file is read-only");
    // Only an update appended to the original bytes keeps earlier signatures valid. A rebuilt cross-reference
    // cannot be continued, so its update carries a cross-reference of its own that lists every object.
    const bool repaired = document->repaired || Mu(ctx, [&] { return pdf_was_repaired(ctx, doc); }) != 0;
    auto copy = std::make_unique<CopyBeside>(document->path);
    try {
      if (repaired) {
        SaveRepairedUpdate(ctx, doc, copy->Path());
      } else {
        pdf_write_options options = pdf_default_write_options;
        options.do_incremental = 1;
        Mu(ctx, [&] { pdf_save_document(ctx, doc, copy->Path().c_str(), &options); });
      }
    } catch (const EngineError& error) {
      if (error.Code() == QP_ERR_UNSUPPORTED) throw;
      Fail(QP_ERR_SAVE, error.what());
    }
    PutCopyInPlace(document, std::move(copy));
    return QP_OK;
  });
}

extern "C" int qp_document_set_staged(qp_document document, int staged) {
  return GuardCode(__func__, [&] {
    if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    if (document->stagedCopy) Fail(QP_ERR_ARGUMENT, "saves are staged already: commit or close first");
    document->staged = staged != 0;
    return QP_OK;
  });
}

extern "C" int qp_document_get_staged_path(qp_document document, char* buffer, int* length) {
  return GuardCode(__func__, [&] {
    if (document == nullptr || length == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    if (!document->stagedCopy) return static_cast<int>(QP_ERR_NOT_FOUND);
    const std::string& path = document->stagedCopy->Path();
    const int needed = static_cast<int>(path.size() + 1);
    if (buffer == nullptr || *length < needed) {
      *length = needed;
      return static_cast<int>(QP_ERR_BUFFER);
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    *length = needed;
    return QP_OK;
  });
}

extern "C" int qp_document_commit(qp_document document) {
  return GuardCode(__func__, [&] {
    if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    if (!document->stagedCopy) return QP_OK;
    std::unique_ptr<CopyBeside> copy = std::move(document->stagedCopy);
    std::unique_ptr<ReplacementLock> lock = std::move(document->lock);
    document->readPath = document->path;
    lock->CheckUnchanged();
    if (!CommitReplacement(copy->Path(), document->path)) Fail(QP_ERR_SAVE, "the saved copy could not replace the file");
    copy->Keep();
    // The document reads on from the same bytes, now under the file's own name.
    if (const auto identity = IdentityOf(document->path)) document->identity = *identity;
    return QP_OK;
  });
}

extern "C" int qp_document_update_page(qp_document document, int pageIndex, int flags) {
  (void)flags;
  return GuardCode(__func__, [&] {
    if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    const int pages = PageCount(document);
    if (pageIndex < 0 || pageIndex >= pages) Fail(QP_ERR_ARGUMENT, "no such page");
    return QP_OK;
  });
}

extern "C" int qp_page_count(qp_document document) {
  return Guard<int>(__func__, -1, [&] {
    if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    return PageCount(document);
  });
}

extern "C" int qp_document_has_permissions(qp_document document, int bit) {
  return Guard<int>(__func__, 0, [&] {
    if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    if (document->doc->crypt == nullptr) return 1;
    const int permissions = Mu(document->ctx, [&] { return pdf_document_permissions(document->ctx, document->doc); });
    return (permissions & bit) == bit ? 1 : 0;
  });
}

extern "C" int qp_document_was_repaired(qp_document document) {
  return Guard<int>(__func__, -1, [&] {
    if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    // Objects are loaded lazily, so a damaged part found after opening can repair the file later.
    return document->repaired || Mu(document->ctx, [&] { return pdf_was_repaired(document->ctx, document->doc); }) ? 1 : 0;
  });
}

extern "C" int qp_document_crypt_revision(qp_document document) {
  return Guard<int>(__func__, -1, [&] {
    if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    if (document->doc->crypt == nullptr) return 0;
    return Mu(document->ctx, [&] { return pdf_crypt_revision(document->ctx, document->doc->crypt); });
  });
}
