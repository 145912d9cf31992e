// Object handles: type tests and readers that see through references, dictionary and array access
// in the file's order, stream data, constructors and changes.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/pdfengine/Internal.h"
#include "platform/pdfengine/PageIndex.h"
#include "platform/pdfengine/UnloadedSource.h"

using namespace sealrun::platform::pdfengine;

namespace {

fz_context* Ctx(qp_cos object) { return object->document->ctx; }

void ForgetPageTree(qp_document document) {
  if (document->pages != nullptr) document->pages->Forget();
}

template <class R, class F>
R Read(const char* function, qp_cos object, R onError, F&& f) {
  return Guard<R>(function, onError, [&]() -> R {
    if (object == nullptr) return onError;
    fz_context* ctx = Ctx(object);
    // A direct object needs no loading, so reading it cannot throw: the engine's exception frame (a
    // setjmp per call) is only needed to follow a reference. Walks over many small objects gain most.
    if (!pdf_is_indirect(ctx, object->obj)) return f(ctx, object->obj);
    return Mu(ctx, [&]() -> R { return f(ctx, object->obj); });
  });
}

}  // namespace

namespace sealrun::platform::pdfengine {

// The shortest decimal that reads back as the same 32-bit float: the value as the file wrote it, as far as
// the 32-bit value tells.
double FloatAsWritten(float value) {
  if (!std::isfinite(value)) return 0.0;
  char text[64];
  for (int digits = 1; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
    if (std::strtof(text, nullptr) == value) return std::strtod(text, nullptr);
  }
  return value;
}

bool StringLooksBinary(const unsigned char* bytes, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned char b = bytes[i];
    const bool escapable = b == '\b' || b == '\t' || b == '\n' || b == '\f' || b == '\r';
    if ((b < 0x20 && !escapable) || b >= 0x7F) return true;
  }
  return false;
}

int ObjNumber(fz_context* ctx, pdf_obj* obj) {
  return Mu(ctx, [&] {
    if (pdf_is_indirect(ctx, obj)) return pdf_to_num(ctx, obj);
    if (!pdf_is_dict(ctx, obj) && !pdf_is_array(ctx, obj)) return 0;
    const int parent = pdf_obj_parent_num(ctx, obj);
    if (parent <= 0) return 0;
    pdf_document* doc = pdf_get_bound_document(ctx, obj);
    if (doc == nullptr || parent >= pdf_xref_len(ctx, doc)) return 0;
    pdf_obj* top = pdf_load_object(ctx, doc, parent);
    const bool same = top == obj;
    pdf_drop_obj(ctx, top);
    return same ? parent : 0;
  });
}

}  // namespace sealrun::platform::pdfengine

namespace {

// The stored bytes read straight into the caller's buffer: no engine buffer is grown and copied for every
// stream (the fingerprint reads every stream of a document this way). A stream larger than the buffer is
// read on to learn its length. MuPDF takes a read error (a damaged encrypted block, a failing file) for the
// end of the data and only marks the stream, so the mark is checked: part of a stream never passes for all.
int RawStreamToBuffer(fz_context* ctx, pdf_document* doc, int num, unsigned char* buffer, size_t* length) {
  const size_t capacity = buffer == nullptr ? 0 : *length;
  size_t total = 0;
  Mu(ctx, [&] {
    fz_stream* data = pdf_open_raw_stream_number(ctx, doc, num);
    fz_try(ctx) {
      if (capacity != 0) total = fz_read(ctx, data, buffer, capacity);
      if (total == capacity) {
        unsigned char rest[16384];
        for (size_t got; (got = fz_read(ctx, data, rest, sizeof rest)) != 0;) total += got;
      }
      if (data->error) fz_throw(ctx, FZ_ERROR_GENERIC, "stream data cannot be read in full");
    }
    fz_always(ctx) { fz_drop_stream(ctx, data); }
    fz_catch(ctx) { fz_rethrow(ctx); }
  });
  *length = total;
  return buffer != nullptr && total > capacity ? QP_ERR_BUFFER : QP_OK;
}

int StreamToBuffer(const char* function, qp_cos stream, void* buffer, size_t* length, bool raw) {
  return GuardCode(function, [&] {
    if (stream == nullptr || length == nullptr) Fail(QP_ERR_ARGUMENT, "no stream");
    fz_context* ctx = Ctx(stream);
    if (!Mu(ctx, [&] { return pdf_is_stream(ctx, stream->obj); })) Fail(QP_ERR_ARGUMENT, "not a stream");
    const int num = ObjNumber(ctx, stream->obj);
    if (num <= 0) Fail(QP_ERR_ARGUMENT, "stream without a number");
    pdf_document* doc = pdf_get_bound_document(ctx, stream->obj);
    // A stream changed since opening lives in memory; only stored ones are read from the file directly.
    const bool inMemory = Mu(ctx, [&] { return pdf_get_xref_entry_no_null(ctx, doc, num)->stm_buf != nullptr; });
    if (raw && !inMemory) return RawStreamToBuffer(ctx, doc, num, static_cast<unsigned char*>(buffer), length);
    fz_buffer* data = Mu(ctx, [&] {
      return raw ? pdf_load_raw_stream_number(ctx, doc, num) : pdf_load_stream_number(ctx, doc, num);
    });
    unsigned char* bytes = nullptr;
    const std::size_t size = fz_buffer_storage(ctx, data, &bytes);
    int result = QP_OK;
    if (buffer == nullptr) {
      *length = size;
    } else if (*length < size) {
      *length = size;
      result = QP_ERR_BUFFER;
    } else {
      if (size != 0) std::memcpy(buffer, bytes, size);
      *length = size;
    }
    fz_drop_buffer(ctx, data);
    return result;
  });
}

qp_cos Create(const char* function, qp_document document, pdf_obj* (*make)(fz_context*, pdf_document*, const void*),
              const void* argument) {
  return Guard<qp_cos>(function, nullptr, [&]() -> qp_cos {
    if (document == nullptr) return nullptr;
    fz_context* ctx = document->ctx;
    pdf_obj* obj = Mu(ctx, [&] { return make(ctx, document->doc, argument); });
    qp_cos handle = nullptr;
    try {
      handle = WrapObject(document, obj);
    } catch (...) {
      pdf_drop_obj(ctx, obj);
      throw;
    }
    pdf_drop_obj(ctx, obj);
    return handle;
  });
}

}  // namespace

extern "C" int qp_cos_is_null(qp_cos o) { return Read(__func__, o, 0, [](fz_context* c, pdf_obj* x) { return pdf_is_null(c, x); }); }
extern "C" int qp_cos_is_bool(qp_cos o) { return Read(__func__, o, 0, [](fz_context* c, pdf_obj* x) { return pdf_is_bool(c, x); }); }
extern "C" int qp_cos_is_int(qp_cos o) { return Read(__func__, o, 0, [](fz_context* c, pdf_obj* x) { return pdf_is_int(c, x); }); }
extern "C" int qp_cos_is_real(qp_cos o) { return Read(__func__, o, 0, [](fz_context* c, pdf_obj* x) { return pdf_is_real(c, x); }); }
extern "C" int qp_cos_is_string(qp_cos o) { return Read(__func__, o, 0, [](fz_context* c, pdf_obj* x) { return pdf_is_string(c, x); }); }
extern "C" int qp_cos_is_name(qp_cos o) { return Read(__func__, o, 0, [](fz_context* c, pdf_obj* x) { return pdf_is_name(c, x); }); }
extern "C" int qp_cos_is_array(qp_cos o) { return Read(__func__, o, 0, [](fz_context* c, pdf_obj* x) { return pdf_is_array(c, x); }); }
extern "C" int qp_cos_is_dict(qp_cos o) { return Read(__func__, o, 0, [](fz_context* c, pdf_obj* x) { return pdf_is_dict(c, x); }); }
extern "C" int qp_cos_is_stream(qp_cos o) { return Read(__func__, o, 0, [](fz_context* c, pdf_obj* x) { return pdf_is_stream(c, x); }); }
extern "C" int qp_cos_is_indirect(qp_cos o) { return Read(__func__, o, 0, [](fz_context* c, pdf_obj* x) { return pdf_is_indirect(c, x); }); }

extern "C" int qp_cos_to_bool(qp_cos o) { return Read(__func__, o, 0, [](fz_context* c, pdf_obj* x) { return pdf_to_bool(c, x); }); }
extern "C" int qp_cos_to_int(qp_cos o) { return Read(__func__, o, 0, [](fz_context* c, pdf_obj* x) { return pdf_to_int(c, x); }); }

extern "C" double qp_cos_to_double(qp_cos o) {
  return Read(__func__, o, 0.0, [](fz_context* c, pdf_obj* x) {
    if (pdf_is_int(c, x)) return static_cast<double>(pdf_to_int64(c, x));
    return FloatAsWritten(pdf_to_real(c, x));
  });
}

extern "C" const char* qp_cos_to_string(qp_cos o) {
  return Read<const char*>(__func__, o, nullptr, [](fz_context* c, pdf_obj* x) -> const char* {
    return pdf_is_string(c, x) ? pdf_to_str_buf(c, x) : nullptr;
  });
}

extern "C" int qp_cos_to_string_len(qp_cos o) {
  return Read(__func__, o, 0, [](fz_context* c, pdf_obj* x) {
    return pdf_is_string(c, x) ? static_cast<int>(pdf_to_str_len(c, x)) : 0;
  });
}

extern "C" int qp_cos_string_is_hex(qp_cos o) {
  return Read(__func__, o, 0, [](fz_context* c, pdf_obj* x) {
    if (!pdf_is_string(c, x)) return 0;
    return StringLooksBinary(reinterpret_cast<const unsigned char*>(pdf_to_str_buf(c, x)), pdf_to_str_len(c, x)) ? 1 : 0;
  });
}

extern "C" const char* qp_cos_to_name(qp_cos o) {
  return Read<const char*>(__func__, o, nullptr, [](fz_context* c, pdf_obj* x) -> const char* {
    return pdf_is_name(c, x) ? pdf_to_name(c, x) : nullptr;
  });
}

extern "C" int qp_cos_obj_num(qp_cos o) {
  return Guard<int>(__func__, 0, [&] { return o == nullptr ? 0 : ObjNumber(Ctx(o), o->obj); });
}

extern "C" qp_cos qp_cos_dict_gets(qp_cos dict, const char* key) {
  return Guard<qp_cos>(__func__, nullptr, [&]() -> qp_cos {
    if (dict == nullptr || key == nullptr) return nullptr;
    fz_context* ctx = Ctx(dict);
    // An entry of a dictionary the engine has not read yet that is missing or a reference is answered from the
    // source, without reading the dictionary: a page's /Contents and /Resources, say. The reference made here
    // names what the engine's would.
    if (const auto source = UnloadedDictionary(ctx, SourcesOf(dict->document), dict->obj); source != nullptr) {
      const int entry = RootEntry(*source, key);
      if (entry < 0) return nullptr;
      const SourceNode& value = source->Nodes()[static_cast<std::size_t>(entry)];
      if (value.kind == SourceKind::Reference) {
        const std::unique_ptr<pdf_obj, ObjDrop> reference(Mu(ctx, [&] {
          return pdf_new_indirect(ctx, dict->document->doc, static_cast<int>(value.integer), value.generation);
        }), ObjDrop{ctx});
        return WrapObject(dict->document, reference.get());
      }
    }
    pdf_obj* value = Mu(ctx, [&] { return pdf_dict_gets(ctx, dict->obj, key); });
    return WrapObject(dict->document, value);
  });
}

extern "C" int qp_cos_dict_len(qp_cos dict) {
  return Read(__func__, dict, 0, [](fz_context* c, pdf_obj* x) { return pdf_dict_len(c, x); });
}

extern "C" const char* qp_cos_dict_get_key(qp_cos dict, int index) {
  return Read<const char*>(__func__, dict, nullptr, [&](fz_context* c, pdf_obj* x) -> const char* {
    if (index < 0 || index >= pdf_dict_len(c, x)) return nullptr;
    pdf_obj* key = pdf_dict_get_key(c, x, index);
    return pdf_is_name(c, key) ? pdf_to_name(c, key) : nullptr;
  });
}

extern "C" qp_cos qp_cos_dict_get_val(qp_cos dict, int index) {
  return Guard<qp_cos>(__func__, nullptr, [&]() -> qp_cos {
    if (dict == nullptr) return nullptr;
    fz_context* ctx = Ctx(dict);
    pdf_obj* value = Mu(ctx, [&]() -> pdf_obj* {
      if (index < 0 || index >= pdf_dict_len(ctx, dict->obj)) return nullptr;
      return pdf_dict_get_val(ctx, dict->obj, index);
    });
    return WrapObject(dict->document, value);
  });
}

extern "C" int qp_cos_array_len(qp_cos array) {
  return Read(__func__, array, 0, [](fz_context* c, pdf_obj* x) { return pdf_array_len(c, x); });
}

extern "C" qp_cos qp_cos_array_get(qp_cos array, int index) {
  return Guard<qp_cos>(__func__, nullptr, [&]() -> qp_cos {
    if (array == nullptr) return nullptr;
    fz_context* ctx = Ctx(array);
    pdf_obj* value = Mu(ctx, [&]() -> pdf_obj* {
      if (index < 0 || index >= pdf_array_len(ctx, array->obj)) return nullptr;
      return pdf_array_get(ctx, array->obj, index);
    });
    return WrapObject(array->document, value);
  });
}

extern "C" int qp_cos_stream_to_buffer(qp_cos stream, void* buffer, size_t* length) {
  return StreamToBuffer(__func__, stream, buffer, length, false);
}

extern "C" int qp_cos_stream_raw_to_buffer(qp_cos stream, void* buffer, size_t* length) {
  return StreamToBuffer(__func__, stream, buffer, length, true);
}

extern "C" qp_cos qp_cos_new_null(qp_document document) {
  return Create(__func__, document, [](fz_context*, pdf_document*, const void*) { return PDF_NULL; }, nullptr);
}

extern "C" qp_cos qp_cos_new_bool(qp_document document, int value) {
  return Create(__func__, document, [](fz_context*, pdf_document*, const void* v) {
    return *static_cast<const int*>(v) ? PDF_TRUE : PDF_FALSE;
  }, &value);
}

extern "C" qp_cos qp_cos_new_int(qp_document document, int value) {
  return Create(__func__, document, [](fz_context* c, pdf_document*, const void* v) {
    return pdf_new_int(c, *static_cast<const int*>(v));
  }, &value);
}

extern "C" qp_cos qp_cos_new_real(qp_document document, double value) {
  return Create(__func__, document, [](fz_context* c, pdf_document*, const void* v) {
    return pdf_new_real(c, static_cast<float>(*static_cast<const double*>(v)));
  }, &value);
}

extern "C" qp_cos qp_cos_new_name(qp_document document, const char* name) {
  if (name == nullptr) return nullptr;
  return Create(__func__, document, [](fz_context* c, pdf_document*, const void* v) {
    return pdf_new_name(c, static_cast<const char*>(v));
  }, name);
}

extern "C" qp_cos qp_cos_new_string(qp_document document, const void* bytes, int length, int hex) {
  (void)hex;  // the engine keeps no form; qp_cos_string_is_hex decides on the bytes
  if (length < 0 || (bytes == nullptr && length != 0)) return nullptr;
  struct Arg {
    const void* bytes;
    int length;
  } arg{bytes, length};
  return Create(__func__, document, [](fz_context* c, pdf_document*, const void* v) {
    const auto* a = static_cast<const Arg*>(v);
    return pdf_new_string(c, static_cast<const char*>(a->bytes), static_cast<std::size_t>(a->length));
  }, &arg);
}

extern "C" qp_cos qp_cos_new_array(qp_document document, int capacity, int indirect) {
  struct Arg {
    int capacity, indirect;
  } arg{capacity < 1 ? 1 : capacity, indirect};
  return Create(__func__, document, [](fz_context* c, pdf_document* d, const void* v) {
    const auto* a = static_cast<const Arg*>(v);
    pdf_obj* array = pdf_new_array(c, d, a->capacity);
    return a->indirect ? pdf_add_object_drop(c, d, array) : array;
  }, &arg);
}

extern "C" qp_cos qp_cos_new_dict(qp_document document, int capacity, int indirect) {
  struct Arg {
    int capacity, indirect;
  } arg{capacity < 1 ? 1 : capacity, indirect};
  return Create(__func__, document, [](fz_context* c, pdf_document* d, const void* v) {
    const auto* a = static_cast<const Arg*>(v);
    pdf_obj* dict = pdf_new_dict(c, d, a->capacity);
    return a->indirect ? pdf_add_object_drop(c, d, dict) : dict;
  }, &arg);
}

extern "C" qp_cos qp_cos_new_stream(qp_document document, const void* bytes, size_t length, int encode,
                                    qp_cos dict, int reserved, int indirect) {
  (void)indirect;
  return Guard<qp_cos>(__func__, nullptr, [&]() -> qp_cos {
    if (document == nullptr || (bytes == nullptr && length != 0) || reserved != 0) return nullptr;
    fz_context* ctx = document->ctx;
    std::string data(static_cast<const char*>(bytes), length);
    bool compressed = false;
    if (encode && dict != nullptr) {
      const bool flate = Mu(ctx, [&] {
        pdf_obj* filter = pdf_dict_get(ctx, dict->obj, PDF_NAME(Filter));
        if (pdf_is_array(ctx, filter) && pdf_array_len(ctx, filter) == 1) filter = pdf_array_get(ctx, filter, 0);
        return pdf_name_eq(ctx, filter, PDF_NAME(FlateDecode));
      });
      const bool anyFilter = Mu(ctx, [&] { return pdf_dict_get(ctx, dict->obj, PDF_NAME(Filter)) != nullptr; });
      if (anyFilter && !flate) Fail(QP_ERR_UNSUPPORTED, "only FlateDecode is encoded");
      if (flate) {
        data = Deflate(data);
        compressed = true;
      }
    } else if (!encode && dict != nullptr) {
      compressed = Mu(ctx, [&] { return pdf_dict_get(ctx, dict->obj, PDF_NAME(Filter)) != nullptr; });
    }
    pdf_obj* ref = Mu(ctx, [&] {
      pdf_obj* streamDict = dict != nullptr ? pdf_copy_dict(ctx, dict->obj) : pdf_new_dict(ctx, document->doc, 1);
      fz_buffer* buffer = nullptr;
      pdf_obj* result = nullptr;
      fz_var(buffer);
      fz_try(ctx) {
        buffer = fz_new_buffer_from_copied_data(ctx, reinterpret_cast<const unsigned char*>(data.data()), data.size());
        result = pdf_add_stream(ctx, document->doc, buffer, streamDict, compressed ? 1 : 0);
      }
      fz_always(ctx) {
        fz_drop_buffer(ctx, buffer);
        pdf_drop_obj(ctx, streamDict);
      }
      fz_catch(ctx) fz_rethrow(ctx);
      return result;
    });
    qp_cos handle = nullptr;
    try {
      handle = WrapObject(document, ref);
    } catch (...) {
      pdf_drop_obj(ctx, ref);
      throw;
    }
    pdf_drop_obj(ctx, ref);
    return handle;
  });
}

extern "C" int qp_cos_dict_puts(qp_cos dict, const char* key, qp_cos value) {
  return GuardCode(__func__, [&] {
    if (dict == nullptr || key == nullptr || value == nullptr) Fail(QP_ERR_ARGUMENT, "no dictionary");
    fz_context* ctx = Ctx(dict);
    if (!Mu(ctx, [&] { return pdf_is_dict(ctx, dict->obj); })) Fail(QP_ERR_ARGUMENT, "not a dictionary");
    // An entry of a page (its identifier, say) leaves the page tree as it is; anything else may change it.
    const std::string_view name(key);
    const bool pageEntry = name != "Kids" && name != "Count" && name != "Type" && name != "Parent" &&
                           Mu(ctx, [&] { return pdf_name_eq(ctx, pdf_dict_get(ctx, dict->obj, PDF_NAME(Type)), PDF_NAME(Page)); });
    if (!pageEntry) ForgetPageTree(dict->document);
    Mu(ctx, [&] { pdf_dict_puts(ctx, dict->obj, key, value->obj); });
    return QP_OK;
  });
}

extern "C" int qp_cos_array_push(qp_cos array, qp_cos value) {
  return GuardCode(__func__, [&] {
    if (array == nullptr || value == nullptr) Fail(QP_ERR_ARGUMENT, "no array");
    fz_context* ctx = Ctx(array);
    if (!Mu(ctx, [&] { return pdf_is_array(ctx, array->obj); })) Fail(QP_ERR_ARGUMENT, "not an array");
    ForgetPageTree(array->document);
    Mu(ctx, [&] { pdf_array_push(ctx, array->obj, value->obj); });
    return QP_OK;
  });
}

extern "C" int qp_cos_set_modify(qp_document document, qp_cos object, int modified) {
  return GuardCode(__func__, [&] {
    if (document == nullptr || object == nullptr) Fail(QP_ERR_ARGUMENT, "no object");
    if (!modified) return QP_OK;
    fz_context* ctx = document->ctx;
    int num = ObjNumber(ctx, object->obj);
    if (num == 0) num = Mu(ctx, [&] { return pdf_obj_parent_num(ctx, object->obj); });
    if (num <= 0) return QP_OK;  // a direct object is written with whatever holds it
    pdf_document* doc = pdf_get_bound_document(ctx, object->obj);
    if (doc != document->doc) Fail(QP_ERR_ARGUMENT, "the object was read before the last save");
    Mu(ctx, [&] { pdf_xref_ensure_incremental_object(ctx, doc, num); });
    return QP_OK;
  });
}

extern "C" int qp_cos_delete(qp_cos object) {
  return GuardCode(__func__, [&] {
    if (object == nullptr) return QP_OK;
    auto& objects = object->document->objects;
    objects.erase(object);
    return QP_OK;
  });
}
