// Annotations at the object level, so that nothing but what the caller changes is written: other
// annotations keep their appearances byte for byte.
#include <cstring>

#include "platform/pdfengine/Internal.h"
#include "platform/pdfengine/UnloadedSource.h"

using namespace sealrun::platform::pdfengine;

namespace {

fz_context* Ctx(qp_annot annot) { return annot->page->document->ctx; }

qp_annot AddHandle(qp_page page, pdf_obj* obj) {
  auto handle = std::make_unique<qp_annot_s>();
  handle->page = page;
  handle->obj = pdf_keep_obj(page->document->ctx, obj);
  qp_annot raw = handle.get();
  page->annots.push_back(std::move(handle));
  return raw;
}

// Whether two objects (references or resolved) are the same object.
bool SameObject(fz_context* ctx, pdf_obj* a, pdf_obj* b) {
  const int na = ObjNumber(ctx, a);
  const int nb = ObjNumber(ctx, b);
  if (na != 0 || nb != 0) return na == nb;
  return Mu(ctx, [&] { return pdf_resolve_indirect(ctx, a) == pdf_resolve_indirect(ctx, b); });
}

// Removes every entry of the array that is the object; true when one was removed.
bool RemoveFromArray(fz_context* ctx, pdf_obj* array, pdf_obj* target) {
  bool removed = false;
  const int length = Mu(ctx, [&] { return pdf_array_len(ctx, array); });
  for (int i = length - 1; i >= 0; --i) {
    pdf_obj* entry = Mu(ctx, [&] { return pdf_array_get(ctx, array, i); });
    if (SameObject(ctx, entry, target)) {
      Mu(ctx, [&] { pdf_array_delete(ctx, array, i); });
      removed = true;
    }
  }
  return removed;
}

bool KnownBlendMode(const char* mode) {
  static const char* const kModes[] = {"Normal", "Compatible", "Multiply", "Screen", "Overlay", "Darken",
                                       "Lighten", "ColorDodge", "ColorBurn", "HardLight", "SoftLight",
                                       "Difference", "Exclusion", "Hue", "Saturation", "Color", "Luminosity"};
  for (const char* known : kModes)
    if (std::strcmp(known, mode) == 0) return true;
  return false;
}

}  // namespace

extern "C" qp_annot qp_page_load_annots(qp_page page) {
  return Guard<qp_annot>(__func__, nullptr, [&]() -> qp_annot {
    if (page == nullptr) return nullptr;
    fz_context* ctx = page->document->ctx;
    // Most pages have no annotations: a page the engine has not read yet is not read to learn that.
    if (const auto source = UnloadedDictionary(ctx, SourcesOf(page->document), page->obj);
        source != nullptr && RootEntry(*source, "Annots") < 0) {
      return nullptr;
    }
    pdf_obj* annots = Mu(ctx, [&] { return pdf_dict_get(ctx, page->obj, PDF_NAME(Annots)); });
    const int length = Mu(ctx, [&] { return pdf_array_len(ctx, annots); });
    qp_annot first = nullptr;
    qp_annot last = nullptr;
    for (int i = 0; i < length; ++i) {
      pdf_obj* entry = Mu(ctx, [&]() -> pdf_obj* {
        pdf_obj* e = pdf_array_get(ctx, annots, i);
        return pdf_is_dict(ctx, e) ? e : nullptr;
      });
      if (entry == nullptr) continue;
      qp_annot handle = AddHandle(page, entry);
      if (last != nullptr) last->next = handle;
      if (first == nullptr) first = handle;
      last = handle;
    }
    return first;
  });
}

extern "C" qp_annot qp_annot_next(qp_annot annot) { return annot == nullptr ? nullptr : annot->next; }

extern "C" const char* qp_annot_get_subtype(qp_annot annot) {
  return Guard<const char*>(__func__, nullptr, [&]() -> const char* {
    if (annot == nullptr) return nullptr;
    fz_context* ctx = Ctx(annot);
    return Mu(ctx, [&]() -> const char* { return pdf_to_name(ctx, pdf_dict_get(ctx, annot->obj, PDF_NAME(Subtype))); });
  });
}

extern "C" qp_cos qp_annot_get_cosobject(qp_annot annot) {
  return Guard<qp_cos>(__func__, nullptr, [&]() -> qp_cos {
    if (annot == nullptr) return nullptr;
    return WrapObject(annot->page->document, annot->obj);
  });
}

extern "C" qp_annot qp_page_create_annotation(qp_page page, int kind) {
  return Guard<qp_annot>(__func__, nullptr, [&]() -> qp_annot {
    if (page == nullptr || kind != QP_ANNOT_IMAGE_STAMP) return nullptr;
    fz_context* ctx = page->document->ctx;
    pdf_document* doc = page->doc;
    const int pageNum = ObjNumber(ctx, page->obj);
    pdf_obj* ref = Mu(ctx, [&] {
      pdf_obj* r = pdf_add_new_dict(ctx, doc, 8);
      fz_try(ctx) {
        pdf_dict_put(ctx, r, PDF_NAME(Type), PDF_NAME(Annot));
        pdf_dict_put(ctx, r, PDF_NAME(Subtype), PDF_NAME(Stamp));
        pdf_dict_put_rect(ctx, r, PDF_NAME(Rect), fz_make_rect(0, 0, 0, 0));
        pdf_dict_put_int(ctx, r, PDF_NAME(F), PDF_ANNOT_IS_PRINT);
        if (pageNum > 0) pdf_dict_put_drop(ctx, r, PDF_NAME(P), pdf_new_indirect(ctx, doc, pageNum, 0));
        pdf_obj* annots = pdf_dict_get(ctx, page->obj, PDF_NAME(Annots));
        if (!pdf_is_array(ctx, annots)) annots = pdf_dict_put_array(ctx, page->obj, PDF_NAME(Annots), 1);
        pdf_array_push(ctx, annots, r);
      }
      fz_catch(ctx) {
        pdf_drop_obj(ctx, r);
        fz_rethrow(ctx);
      }
      return r;
    });
    try {
      qp_annot handle = AddHandle(page, ref);
      pdf_drop_obj(ctx, ref);
      return handle;
    } catch (...) {
      pdf_drop_obj(ctx, ref);
      throw;
    }
  });
}

extern "C" int qp_annot_set_rect(qp_annot annot, double x0, double y0, double x1, double y1) {
  return GuardCode(__func__, [&] {
    if (annot == nullptr) Fail(QP_ERR_ARGUMENT, "no annotation");
    fz_context* ctx = Ctx(annot);
    const fz_rect displayed = fz_make_rect(static_cast<float>(std::min(x0, x1)), static_cast<float>(std::min(y0, y1)),
                                           static_cast<float>(std::max(x0, x1)), static_cast<float>(std::max(y0, y1)));
    const fz_rect user =
        DisplayedToUser(displayed, PageBox(ctx, annot->page->obj, QP_BOX_MEDIA), PageRotation(ctx, annot->page->obj));
    Mu(ctx, [&] { pdf_dict_put_rect(ctx, annot->obj, PDF_NAME(Rect), user); });
    return QP_OK;
  });
}

extern "C" int qp_annot_set_rotate(qp_annot annot, int degrees) {
  return GuardCode(__func__, [&] {
    if (annot == nullptr) Fail(QP_ERR_ARGUMENT, "no annotation");
    const int normal = ((degrees % 360) + 360) % 360;
    if (normal % 90 != 0) Fail(QP_ERR_ARGUMENT, "rotation is not a quarter turn");
    fz_context* ctx = Ctx(annot);
    Mu(ctx, [&] { pdf_dict_put_int(ctx, annot->obj, PDF_NAME(Rotate), normal); });
    return QP_OK;
  });
}

extern "C" int qp_annot_set_blendmode(qp_annot annot, const char* mode) {
  return GuardCode(__func__, [&] {
    if (annot == nullptr || mode == nullptr || !KnownBlendMode(mode)) Fail(QP_ERR_ARGUMENT, "unknown blend mode");
    fz_context* ctx = Ctx(annot);
    Mu(ctx, [&] { pdf_dict_put_name(ctx, annot->obj, PDF_NAME(BM), mode); });
    return QP_OK;
  });
}

extern "C" int qp_annot_generate_appearance(qp_annot annot) {
  return GuardCode(__func__, [&] {
    if (annot == nullptr) Fail(QP_ERR_ARGUMENT, "no annotation");
    SetImageAppearance(Ctx(annot), annot->page->doc, annot->obj, nullptr, 0);
    return QP_OK;
  });
}

extern "C" int qp_annot_set_image_appearance_from_handle(qp_annot annot, qp_image image) {
  return GuardCode(__func__, [&] {
    if (annot == nullptr || image == nullptr) Fail(QP_ERR_ARGUMENT, "no annotation or image");
    if (image->colorSpace == QP_COLORSPACE_INDEXED && !image->jpeg && image->palette.empty())
      Fail(QP_ERR_ARGUMENT, "indexed image without a palette");
    fz_context* ctx = Ctx(annot);
    pdf_obj* ref = AddImageObject(ctx, annot->page->doc, *image);
    pdf_drop_obj(ctx, annot->imageRef);
    annot->imageRef = ref;
    SetImageAppearance(ctx, annot->page->doc, annot->obj, annot->imageRef, AnnotRotation(ctx, annot->obj));
    return QP_OK;
  });
}

extern "C" int qp_annot_update(qp_annot annot) {
  return GuardCode(__func__, [&] {
    if (annot == nullptr) Fail(QP_ERR_ARGUMENT, "no annotation");
    if (annot->imageRef == nullptr) return QP_OK;
    fz_context* ctx = Ctx(annot);
    SetImageAppearance(ctx, annot->page->doc, annot->obj, annot->imageRef, AnnotRotation(ctx, annot->obj));
    return QP_OK;
  });
}

extern "C" qp_annot qp_page_lookup_annotation(qp_page page, qp_field field) {
  return Guard<qp_annot>(__func__, nullptr, [&]() -> qp_annot {
    if (page == nullptr || field == nullptr) return nullptr;
    fz_context* ctx = page->document->ctx;
    pdf_obj* annots = Mu(ctx, [&] { return pdf_dict_get(ctx, page->obj, PDF_NAME(Annots)); });
    const int length = Mu(ctx, [&] { return pdf_array_len(ctx, annots); });
    for (int i = 0; i < length; ++i) {
      pdf_obj* entry = Mu(ctx, [&] { return pdf_array_get(ctx, annots, i); });
      pdf_obj* parent = Mu(ctx, [&] { return pdf_dict_get(ctx, entry, PDF_NAME(Parent)); });
      if (SameObject(ctx, entry, field->obj) || (parent != nullptr && SameObject(ctx, parent, field->obj)))
        return AddHandle(page, entry);
    }
    return nullptr;
  });
}

extern "C" int qp_annot_delete(qp_annot annot) {
  return GuardCode(__func__, [&] {
    if (annot == nullptr) Fail(QP_ERR_ARGUMENT, "no annotation");
    qp_page page = annot->page;
    fz_context* ctx = page->document->ctx;
    pdf_obj* annots = Mu(ctx, [&] { return pdf_dict_get(ctx, page->obj, PDF_NAME(Annots)); });
    if (!RemoveFromArray(ctx, annots, annot->obj)) Fail(QP_ERR_NOT_FOUND, "not on its page");
    const bool widget = Mu(ctx, [&] {
      return pdf_name_eq(ctx, pdf_dict_get(ctx, annot->obj, PDF_NAME(Subtype)), PDF_NAME(Widget));
    });
    if (widget) {
      // A widget also leaves the form: its parent's /Kids, or /AcroForm /Fields when it is the field.
      pdf_obj* parent = Mu(ctx, [&] { return pdf_dict_get(ctx, annot->obj, PDF_NAME(Parent)); });
      pdf_obj* kids = Mu(ctx, [&] { return pdf_dict_get(ctx, parent, PDF_NAME(Kids)); });
      if (parent != nullptr) RemoveFromArray(ctx, kids, annot->obj);
      pdf_obj* fields = Mu(ctx, [&] {
        return pdf_dict_getl(ctx, pdf_trailer(ctx, page->doc), PDF_NAME(Root), PDF_NAME(AcroForm), PDF_NAME(Fields), nullptr);
      });
      if (fields != nullptr) RemoveFromArray(ctx, fields, annot->obj);
    }
    for (auto& other : page->annots)
      if (other->next == annot) other->next = annot->next;
    page->annots.remove_if([&](const std::unique_ptr<qp_annot_s>& held) { return held.get() == annot; });
    return QP_OK;
  });
}
