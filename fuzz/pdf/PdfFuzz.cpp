// Opens arbitrary bytes as a PDF and walks what a caller walks: pages, boxes, annotations, the
// objects under each page (bounded, through the object accessors and through qp_cos_walk), stream data, the text layer of the first page, the form
// fields and their signatures. Nothing may crash, hang or leak; every failure is a result code.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "external/QpHandles.h"

namespace {

using namespace sealrun::external;

qp_engine Engine() {
  static const EngineHandle engine = StartEngine();
  return engine.get();
}

void Walk(qp_cos object, int depth, int& budget) {
  if (object == nullptr || depth > 6 || --budget < 0) return;
  qp_cos_is_indirect(object);
  qp_cos_obj_num(object);
  qp_cos_to_double(object);
  qp_cos_string_is_hex(object);
  qp_cos_to_string_len(object);
  qp_cos_to_name(object);
  if (qp_cos_is_stream(object)) {
    size_t length = 0;
    if (qp_cos_stream_raw_to_buffer(object, nullptr, &length) == QP_OK && length < (1u << 20)) {
      std::string data(length, '\0');
      qp_cos_stream_raw_to_buffer(object, data.data(), &length);
    }
    length = 0;
    if (qp_cos_stream_to_buffer(object, nullptr, &length) == QP_OK && length < (1u << 20)) {
      std::string data(length, '\0');
      qp_cos_stream_to_buffer(object, data.data(), &length);
    }
  }
  if (qp_cos_is_dict(object)) {
    const int length = qp_cos_dict_len(object);
    for (int i = 0; i < length && i < 32; ++i) {
      qp_cos_dict_get_key(object, i);
      const CosHandle value(qp_cos_dict_get_val(object, i));
      // References are followed only for page-level entries, as the fingerprint does.
      if (!qp_cos_is_indirect(value.get()) || depth == 0) Walk(value.get(), depth + 1, budget);
    }
  } else if (qp_cos_is_array(object)) {
    const int length = qp_cos_array_len(object);
    for (int i = 0; i < length && i < 32; ++i) {
      const CosHandle value(qp_cos_array_get(object, i));
      Walk(value.get(), depth + 1, budget);
    }
  }
}

// qp_cos_walk as the fingerprint walks: references followed near the top, stream data read, a bounded
// number of items (the walk is stopped past it).
int CountItem(void* context, const qp_walk_item* item) {
  int& left = *static_cast<int*>(context);
  if (--left < 0) return QP_WALK_STOP;
  return item->kind == QP_ITEM_REFERENCE && item->depth <= 2 ? QP_WALK_FOLLOW : QP_WALK_NEXT;
}

// The engine opens files by path: each input is written to one scratch file, removed at exit.
struct ScratchFile {
  std::string path = "/tmp/sealrun-fuzz-pdf-" + std::to_string(::getpid()) + ".pdf";
  ~ScratchFile() { std::remove(path.c_str()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ScratchFile scratch;
  const std::string& path = scratch.path;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  qp_document opened = nullptr;
  const int result = qp_document_open(Engine(), &opened, path.c_str());
  const DocumentHandle owner(opened);  // closed on every path, after a failed open too
  if (result == QP_OK) {
    qp_document document = owner.get();
    const int pages = qp_page_count(document);
    qp_document_crypt_revision(document);
    qp_document_has_permissions(document, 256);
    qp_document_certification_level(document);
    for (int i = 0; i < pages && i < 4; ++i) {
      const PageHandle pageOwner = LoadPage(document, i);
      if (!pageOwner) continue;
      qp_page page = pageOwner.get();
      double box[4];
      int degrees = 0;
      qp_page_box(page, QP_BOX_CROP, box);
      qp_page_get_box(document, i, QP_BOX_MEDIA, box);
      qp_page_rotate(page, &degrees);
      int budget = 400;
      Walk(qp_page_object(page), 0, budget);
      const CosHandle pageObject(qp_page_object(page));
      int items = 4000;
      qp_cos_walk(pageObject.get(), &CountItem, &items, nullptr);
      for (qp_annot annot = qp_page_load_annots(page); annot != nullptr; annot = qp_annot_next(annot)) {
        qp_annot_get_subtype(annot);
        int annotBudget = 50;
        Walk(qp_annot_get_cosobject(annot), 1, annotBudget);
      }
      if (i == 0) {
        qp_text rawText = nullptr;
        const int loaded = qp_page_load_text(page, &rawText, nullptr, 0);
        const TextHandle text(rawText);
        if (loaded == QP_OK) {
          qp_search rawSearch = nullptr;
          qp_document_search(document, &rawSearch);
          const SearchHandle search(rawSearch);
          qp_search_set_option(search.get(), QP_SEARCH_OPTION_TEXT, u"the");
          qp_search_first(search.get(), text.get());
          int first = 0;
          int count = 0;
          qp_search_result(search.get(), &first, &count);
          qp_char_info chars[8];
          if (count > 0 && count <= 8) qp_page_text_char(text.get(), first, count, chars);
        }
      }
    }
    int fields = 0;
    for (qp_field field = qp_load_acroform_field(document); field != nullptr && fields < 16;
         field = qp_field_next(field), ++fields) {
      qp_field_get_page_num(field);
      char buffer[64];
      int length = sizeof buffer;
      qp_field_get_private_data(field, "QPX", buffer, &length);
      const SignatureHandle signature(qp_field_get_signature(field));
      if (signature) {
        int changed = 0;
        qp_signature_get_obj_num(signature.get());
        qp_signature_is_document_timestamp(signature.get());
        qp_signature_verify(signature.get(), nullptr);
        qp_signature_verify_page_contents(signature.get(), &changed);
      }
    }
  }
  return 0;
}
