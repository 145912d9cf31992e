// Engine start and stop, the error plumbing shared by every qp_ function, engine strings.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/pdfengine/Internal.h"

namespace sealrun::platform::pdfengine {
namespace {

bool TracesWanted() {
  const char* value = std::getenv("SEALRUN_DEBUG");
  return value != nullptr && std::strcmp(value, "1") == 0;
}

// MuPDF reports caught errors and warnings itself; they go to standard error only when traces are on.
void QuietMessage(void*, const char* message) {
  if (TracesWanted()) std::fprintf(stderr, "pdfengine: %s\n", message);
}

// MuPDF builds its AES tables on first use, without a lock, and marks them built with a plain flag. Engines
// may run on threads of their own (a verification run has one per worker), so the tables are built here,
// once, before any engine exists.
void BuildSharedTables() {
  static std::once_flag built;
  std::call_once(built, [] {
    fz_aes aes;
    const unsigned char key[16] = {};
    fz_aes_setkey_enc(&aes, key, 128);
  });
}

}  // namespace

bool MuRun(fz_context* ctx, void (*fn)(void*), void* arg) noexcept {
  bool ok = true;
  fz_try(ctx) { fn(arg); }
  fz_catch(ctx) { ok = false; }
  return ok;
}

void ThrowCaught(fz_context* ctx) {
  // An allocation the budget refused unwinds MuPDF as "out of memory"; the caller learns which bound it was.
  if (EngineBudget* budget = BudgetOf(ctx); budget != nullptr) {
    if (budget->Expired()) throw EngineError(QP_ERR_LIMIT, "the file takes longer than one file may take");
    if (fz_caught(ctx) == FZ_ERROR_MEMORY) {
      if (std::string refusal = budget->TakeRefusal(); !refusal.empty()) throw EngineError(QP_ERR_LIMIT, refusal);
    }
  }
  throw EngineError(QP_ERR_ENGINE, fz_caught_message(ctx));
}

void TraceFailure(const char* function, const char* what) {
  if (TracesWanted()) std::fprintf(stderr, "pdfengine: %s: %s\n", function, what);
}

}  // namespace sealrun::platform::pdfengine

using namespace sealrun::platform::pdfengine;

extern "C" int qp_startup(qp_engine* engine, uint32_t flags, int reserved1, int reserved2, int reserved3) {
  return GuardCode(__func__, [&] {
    if (engine == nullptr) Fail(QP_ERR_ARGUMENT, "no engine slot");
    *engine = nullptr;
    if ((flags != 0 && flags != 0x20000000u) || reserved1 != 0 || reserved2 != 0 || reserved3 != 0)
      Fail(QP_ERR_ARGUMENT, "unknown startup flags");
    BuildSharedTables();
    auto created = std::make_unique<qp_engine_s>();
    created->ctx = fz_new_context(created->budget.Allocator(), nullptr, FZ_STORE_DEFAULT);
    if (created->ctx == nullptr) Fail(QP_ERR_ENGINE, "no MuPDF context");
    fz_set_error_callback(created->ctx, QuietMessage, nullptr);
    fz_set_warning_callback(created->ctx, QuietMessage, nullptr);
    try {
      Mu(created->ctx, [&] { fz_register_document_handlers(created->ctx); });
    } catch (...) {
      fz_drop_context(created->ctx);
      throw;
    }
    *engine = created.release();
    return QP_OK;
  });
}

extern "C" int qp_cleanup(qp_engine engine) {
  return GuardCode(__func__, [&] {
    if (engine == nullptr) return QP_OK;
    std::unique_ptr<qp_engine_s> owned(engine);
    fz_drop_context(owned->ctx);
    return QP_OK;
  });
}

extern "C" int qp_engine_set_memory_ceiling(qp_engine engine, uint64_t bytes) {
  return GuardCode(__func__, [&] {
    if (engine == nullptr) Fail(QP_ERR_ARGUMENT, "no engine");
    engine->budget.SetMemoryCeiling(bytes == 0 || bytes > SIZE_MAX ? EngineBudget::kDefaultMemoryCeiling
                                                                   : static_cast<std::size_t>(bytes));
    return QP_OK;
  });
}

extern "C" int qp_engine_set_time_budget(qp_engine engine, uint32_t milliseconds) {
  return GuardCode(__func__, [&] {
    if (engine == nullptr) Fail(QP_ERR_ARGUMENT, "no engine");
    engine->budget.SetDeadline(std::chrono::milliseconds(milliseconds));
    return QP_OK;
  });
}

extern "C" qp_string qp_string_create(void) {
  return Guard<qp_string>(__func__, nullptr, [] { return std::make_unique<qp_string_s>().release(); });
}

extern "C" int qp_string_append_ucs(qp_string string, const uint16_t* text, int length) {
  return GuardCode(__func__, [&] {
    if (string == nullptr || (text == nullptr && length != 0)) Fail(QP_ERR_ARGUMENT, "no string");
    if (length < 0) {
      length = 0;
      while (text[length] != 0) ++length;
    }
    string->text.append(reinterpret_cast<const char16_t*>(text), static_cast<std::size_t>(length));
    return QP_OK;
  });
}

extern "C" const uint16_t* qp_string_ucs(qp_string string) {
  if (string == nullptr) return nullptr;
  return reinterpret_cast<const uint16_t*>(string->text.c_str());
}

extern "C" int qp_string_length(qp_string string) {
  return string == nullptr ? -1 : static_cast<int>(string->text.size());
}

extern "C" int qp_string_delete(qp_string string) {
  std::unique_ptr<qp_string_s> owned(string);
  return QP_OK;
}

extern "C" int qp_certificate_get_der(qp_certificate certificate, void* buffer, size_t* length) {
  return GuardCode(__func__, [&] {
    if (certificate == nullptr || length == nullptr) Fail(QP_ERR_ARGUMENT, "no certificate");
    const std::size_t needed = certificate->der.size();
    if (buffer == nullptr) {
      *length = needed;
      return QP_OK;
    }
    if (*length < needed) {
      *length = needed;
      return QP_ERR_BUFFER;
    }
    std::memcpy(buffer, certificate->der.data(), needed);
    *length = needed;
    return QP_OK;
  });
}

extern "C" int qp_certificate_free(qp_certificate certificate) {
  std::unique_ptr<qp_certificate_s> owned(certificate);
  return QP_OK;
}
