// Form fields at the object level: enumeration in /AcroForm /Fields order, signature fields with
// their widget, private data under a key of the field, deletion from the form and the pages.
#include <cstring>
#include <set>

#include "platform/pdfengine/Internal.h"
#include "platform/pdfengine/PageTree.h"
#include "platform/text/Utf.h"

using namespace sealrun::platform::pdfengine;

namespace {

constexpr int kMaxFieldDepth = 32;

pdf_obj* AcroForm(fz_context* ctx, pdf_document* doc) {
  return Mu(ctx, [&] { return pdf_dict_getl(ctx, pdf_trailer(ctx, doc), PDF_NAME(Root), PDF_NAME(AcroForm), nullptr); });
}

bool IsTerminal(fz_context* ctx, pdf_obj* field) {
  return Mu(ctx, [&] {
    pdf_obj* kids = pdf_dict_get(ctx, field, PDF_NAME(Kids));
    if (!pdf_is_array(ctx, kids) || pdf_array_len(ctx, kids) == 0) return 1;
    // Kids without a name are the field's widgets, not fields of their own.
    return pdf_dict_get(ctx, pdf_array_get(ctx, kids, 0), PDF_NAME(T)) == nullptr ? 1 : 0;
  }) != 0;
}

void CollectTerminals(fz_context* ctx, pdf_obj* array, int depth, std::set<int>& seen, std::vector<pdf_obj*>& out) {
  if (depth > kMaxFieldDepth) return;
  const int length = Mu(ctx, [&] { return pdf_array_len(ctx, array); });
  for (int i = 0; i < length; ++i) {
    pdf_obj* field = Mu(ctx, [&]() -> pdf_obj* {
      pdf_obj* f = pdf_array_get(ctx, array, i);
      return pdf_is_dict(ctx, f) ? f : nullptr;
    });
    if (field == nullptr) continue;
    const int num = ObjNumber(ctx, field);
    if (num != 0 && !seen.insert(num).second) continue;  // a cycle or a repeated entry
    if (IsTerminal(ctx, field)) {
      out.push_back(field);
    } else {
      CollectTerminals(ctx, Mu(ctx, [&] { return pdf_dict_get(ctx, field, PDF_NAME(Kids)); }), depth + 1, seen, out);
    }
  }
}

std::vector<pdf_obj*> TerminalFields(fz_context* ctx, pdf_document* doc) {
  std::vector<pdf_obj*> out;
  std::set<int> seen;
  pdf_obj* fields = Mu(ctx, [&] { return pdf_dict_get(ctx, AcroForm(ctx, doc), PDF_NAME(Fields)); });
  CollectTerminals(ctx, fields, 0, seen, out);
  return out;
}

bool IsSignatureField(fz_context* ctx, pdf_obj* field) {
  return Mu(ctx, [&] { return pdf_name_eq(ctx, pdf_dict_get_inheritable(ctx, field, PDF_NAME(FT)), PDF_NAME(Sig)); }) != 0;
}

// The field's widgets: the field itself when it is one, otherwise its kids.
std::vector<pdf_obj*> Widgets(fz_context* ctx, pdf_obj* field) {
  std::vector<pdf_obj*> out;
  const bool merged = Mu(ctx, [&] { return pdf_name_eq(ctx, pdf_dict_get(ctx, field, PDF_NAME(Subtype)), PDF_NAME(Widget)); });
  if (merged) {
    out.push_back(field);
    return out;
  }
  pdf_obj* kids = Mu(ctx, [&] { return pdf_dict_get(ctx, field, PDF_NAME(Kids)); });
  const int length = Mu(ctx, [&] { return pdf_array_len(ctx, kids); });
  for (int i = 0; i < length; ++i) out.push_back(Mu(ctx, [&] { return pdf_array_get(ctx, kids, i); }));
  return out;
}

bool Same(fz_context* ctx, pdf_obj* a, pdf_obj* b) {
  const int na = ObjNumber(ctx, a);
  const int nb = ObjNumber(ctx, b);
  if (na != 0 || nb != 0) return na == nb;
  return Mu(ctx, [&] { return pdf_resolve_indirect(ctx, a) == pdf_resolve_indirect(ctx, b); });
}

// The page index that holds the widget in its /Annots, -1 when none.
int PageOfWidget(fz_context* ctx, pdf_document* doc, pdf_obj* widget) {
  pdf_obj* declared = Mu(ctx, [&] { return pdf_dict_get(ctx, widget, PDF_NAME(P)); });
  auto holds = [&](int index) {
    pdf_obj* page = Mu(ctx, [&] { return pdf_lookup_page_obj(ctx, doc, index); });
    pdf_obj* annots = Mu(ctx, [&] { return pdf_dict_get(ctx, page, PDF_NAME(Annots)); });
    const int length = Mu(ctx, [&] { return pdf_array_len(ctx, annots); });
    for (int i = 0; i < length; ++i)
      if (Same(ctx, Mu(ctx, [&] { return pdf_array_get(ctx, annots, i); }), widget)) return true;
    return false;
  };
  if (declared != nullptr) {
    const int index = Guard<int>("page lookup", -1, [&] {
      return Mu(ctx, [&] { return pdf_lookup_page_number(ctx, doc, declared); });
    });
    // The lookup found the page in the tree, so it is one the document has.
    if (index >= 0 && holds(index)) return index;
  }
  // Else every page in turn: as many as the tree holds, whatever its root claims.
  const int pages = PagesHeld(ctx, doc);
  for (int index = 0; index < pages; ++index)
    if (holds(index)) return index;
  return -1;
}

void RemoveEntries(fz_context* ctx, pdf_obj* array, pdf_obj* target) {
  const int length = Mu(ctx, [&] { return pdf_array_len(ctx, array); });
  for (int i = length - 1; i >= 0; --i)
    if (Same(ctx, Mu(ctx, [&] { return pdf_array_get(ctx, array, i); }), target))
      Mu(ctx, [&] { pdf_array_delete(ctx, array, i); });
}

bool ReservedKey(const char* key) {
  static const char* const kKeys[] = {"Type", "Subtype", "FT", "T", "TU", "TM", "V", "DV", "Ff", "Kids", "Parent",
                                      "Rect", "P", "AP", "AS", "F", "MK", "Lock", "SV", "DA", "AA", "BS", "Border"};
  for (const char* reserved : kKeys)
    if (std::strcmp(reserved, key) == 0) return true;
  return false;
}

}  // namespace

namespace sealrun::platform::pdfengine {

pdf_obj* SignatureField(qp_signature signature) {
  if (signature == nullptr || signature->document == nullptr) Fail(QP_ERR_ARGUMENT, "no signature");
  fz_context* ctx = signature->document->ctx;
  pdf_document* doc = signature->document->doc;
  pdf_obj* field = Mu(ctx, [&]() -> pdf_obj* {
    if (signature->fieldNum <= 0 || signature->fieldNum >= pdf_xref_len(ctx, doc)) return nullptr;
    pdf_obj* ref = pdf_new_indirect(ctx, doc, signature->fieldNum, 0);
    pdf_obj* resolved = pdf_resolve_indirect(ctx, ref);
    pdf_drop_obj(ctx, ref);
    return pdf_is_dict(ctx, resolved) ? resolved : nullptr;
  });
  if (field == nullptr) Fail(QP_ERR_NOT_FOUND, "the signature's field is gone");
  return field;
}

}  // namespace sealrun::platform::pdfengine

extern "C" int qp_acroform_signature_count(qp_document document) {
  return Guard<int>(__func__, -1, [&] {
    if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    int count = 0;
    for (pdf_obj* field : TerminalFields(document->ctx, document->doc))
      if (IsSignatureField(document->ctx, field)) ++count;
    return count;
  });
}

extern "C" qp_field qp_acroform_create_form_field(qp_document document, int fieldType) {
  return Guard<qp_field>(__func__, nullptr, [&]() -> qp_field {
    if (document == nullptr || fieldType != QP_FIELD_SIGNATURE) return nullptr;
    fz_context* ctx = document->ctx;
    pdf_obj* ref = Mu(ctx, [&] {
      pdf_obj* r = pdf_add_new_dict(ctx, document->doc, 8);
      fz_try(ctx) {
        pdf_dict_put(ctx, r, PDF_NAME(FT), PDF_NAME(Sig));
        pdf_dict_put(ctx, r, PDF_NAME(Type), PDF_NAME(Annot));
        pdf_dict_put(ctx, r, PDF_NAME(Subtype), PDF_NAME(Widget));
        pdf_dict_put_int(ctx, r, PDF_NAME(F), PDF_ANNOT_IS_PRINT | PDF_ANNOT_IS_LOCKED);
        pdf_dict_put_rect(ctx, r, PDF_NAME(Rect), fz_make_rect(0, 0, 0, 0));
      }
      fz_catch(ctx) {
        pdf_drop_obj(ctx, r);
        fz_rethrow(ctx);
      }
      return r;
    });
    try {
      qp_field field = WrapField(document, ref);
      pdf_drop_obj(ctx, ref);
      return field;
    } catch (...) {
      pdf_drop_obj(ctx, ref);
      throw;
    }
  });
}

extern "C" qp_field qp_load_acroform_field(qp_document document) {
  return Guard<qp_field>(__func__, nullptr, [&]() -> qp_field {
    if (document == nullptr) return nullptr;
    qp_field first = nullptr;
    qp_field last = nullptr;
    for (pdf_obj* obj : TerminalFields(document->ctx, document->doc)) {
      qp_field field = WrapField(document, obj);
      if (last != nullptr) last->next = field;
      if (first == nullptr) first = field;
      last = field;
    }
    return first;
  });
}

extern "C" qp_field qp_field_next(qp_field field) { return field == nullptr ? nullptr : field->next; }

extern "C" int qp_field_set_name(qp_field field, qp_string name) {
  return GuardCode(__func__, [&] {
    if (field == nullptr || name == nullptr || name->text.empty()) Fail(QP_ERR_ARGUMENT, "no name");
    const std::string utf8 = sealrun::platform::text::Utf16ToUtf8(name->text);
    fz_context* ctx = field->document->ctx;
    Mu(ctx, [&] { pdf_dict_put_text_string(ctx, field->obj, PDF_NAME(T), utf8.c_str()); });
    return QP_OK;
  });
}

extern "C" int qp_field_get_page_num(qp_field field) {
  return Guard<int>(__func__, -1, [&] {
    if (field == nullptr) return -1;
    fz_context* ctx = field->document->ctx;
    for (pdf_obj* widget : Widgets(ctx, field->obj)) {
      const int page = PageOfWidget(ctx, field->document->doc, widget);
      if (page >= 0) return page;
    }
    return -1;
  });
}

extern "C" int qp_field_set_private_data(qp_field field, const char* key, const void* bytes, int length) {
  return GuardCode(__func__, [&] {
    if (field == nullptr || key == nullptr || *key == 0 || length < 0 || (bytes == nullptr && length != 0))
      Fail(QP_ERR_ARGUMENT, "bad private data");
    if (ReservedKey(key)) Fail(QP_ERR_ARGUMENT, "the key belongs to the form");
    fz_context* ctx = field->document->ctx;
    Mu(ctx, [&] {
      pdf_obj* value = pdf_new_string(ctx, static_cast<const char*>(bytes), static_cast<std::size_t>(length));
      pdf_dict_puts_drop(ctx, field->obj, key, value);
    });
    return QP_OK;
  });
}

extern "C" int qp_field_get_private_data(qp_field field, const char* key, void* buffer, int* length) {
  return GuardCode(__func__, [&] {
    if (field == nullptr || key == nullptr || length == nullptr) Fail(QP_ERR_ARGUMENT, "bad private data");
    fz_context* ctx = field->document->ctx;
    pdf_obj* value = Mu(ctx, [&] { return pdf_dict_gets(ctx, field->obj, key); });
    if (!Mu(ctx, [&] { return pdf_is_string(ctx, value); })) return static_cast<int>(QP_ERR_NOT_FOUND);
    const char* data = Mu(ctx, [&] { return pdf_to_str_buf(ctx, value); });
    const int size = Mu(ctx, [&] { return static_cast<int>(pdf_to_str_len(ctx, value)); });
    if (buffer == nullptr) {
      *length = size;
      return QP_OK;
    }
    if (*length < size) {
      *length = size;
      return static_cast<int>(QP_ERR_BUFFER);
    }
    std::memcpy(buffer, data, static_cast<std::size_t>(size));
    *length = size;
    return QP_OK;
  });
}

extern "C" qp_annot qp_page_add_form_field(qp_page page, qp_field field) {
  return Guard<qp_annot>(__func__, nullptr, [&]() -> qp_annot {
    if (page == nullptr || field == nullptr || page->document != field->document) return nullptr;
    fz_context* ctx = page->document->ctx;
    pdf_document* doc = page->doc;
    if (pdf_get_bound_document(ctx, field->obj) != doc) Fail(QP_ERR_ARGUMENT, "the field belongs to an earlier state");
    const int pageNum = ObjNumber(ctx, page->obj);
    Mu(ctx, [&] {
      if (pageNum > 0) pdf_dict_put_drop(ctx, field->obj, PDF_NAME(P), pdf_new_indirect(ctx, doc, pageNum, 0));
      pdf_obj* annots = pdf_dict_get(ctx, page->obj, PDF_NAME(Annots));
      if (!pdf_is_array(ctx, annots)) annots = pdf_dict_put_array(ctx, page->obj, PDF_NAME(Annots), 1);
      pdf_array_push(ctx, annots, field->obj);
      pdf_obj* root = pdf_dict_get(ctx, pdf_trailer(ctx, doc), PDF_NAME(Root));
      pdf_obj* form = pdf_dict_get(ctx, root, PDF_NAME(AcroForm));
      if (!pdf_is_dict(ctx, form)) form = pdf_dict_put_dict(ctx, root, PDF_NAME(AcroForm), 2);
      pdf_obj* fields = pdf_dict_get(ctx, form, PDF_NAME(Fields));
      if (!pdf_is_array(ctx, fields)) fields = pdf_dict_put_array(ctx, form, PDF_NAME(Fields), 1);
      pdf_array_push(ctx, fields, field->obj);
      // Signatures exist and the file is to be changed by appending only.
      const int flags = pdf_dict_get_int(ctx, form, PDF_NAME(SigFlags));
      if ((flags & 3) != 3) pdf_dict_put_int(ctx, form, PDF_NAME(SigFlags), flags | 3);
    });
    auto widget = std::make_unique<qp_annot_s>();
    widget->page = page;
    widget->obj = pdf_keep_obj(ctx, field->obj);
    qp_annot raw = widget.get();
    page->annots.push_back(std::move(widget));
    return raw;
  });
}

extern "C" int qp_annot_set_signature_field_appearance(qp_annot widget, qp_image image, int pageRotation) {
  return GuardCode(__func__, [&] {
    if (widget == nullptr || image == nullptr) Fail(QP_ERR_ARGUMENT, "no widget or image");
    const int normal = ((pageRotation % 360) + 360) % 360;
    if (normal % 90 != 0) Fail(QP_ERR_ARGUMENT, "rotation is not a quarter turn");
    fz_context* ctx = widget->page->document->ctx;
    pdf_document* doc = widget->page->doc;
    // /MK /R tells viewers the widget is turned with the page; the image keeps the rotation the
    // annotation was given, or the page's when it was given none.
    const bool hasRotation = Mu(ctx, [&] { return pdf_dict_get(ctx, widget->obj, PDF_NAME(Rotate)) != nullptr; });
    Mu(ctx, [&] {
      pdf_obj* mk = pdf_dict_get(ctx, widget->obj, PDF_NAME(MK));
      if (!pdf_is_dict(ctx, mk)) mk = pdf_dict_put_dict(ctx, widget->obj, PDF_NAME(MK), 1);
      pdf_dict_put_int(ctx, mk, PDF_NAME(R), normal);
    });
    if (widget->imageRef == nullptr) widget->imageRef = AddImageObject(ctx, doc, *image);
    SetImageAppearance(ctx, doc, widget->obj, widget->imageRef, hasRotation ? AnnotRotation(ctx, widget->obj) : normal);
    return QP_OK;
  });
}

extern "C" int qp_field_delete(qp_field field) {
  return GuardCode(__func__, [&] {
    if (field == nullptr) Fail(QP_ERR_ARGUMENT, "no field");
    qp_document document = field->document;
    fz_context* ctx = document->ctx;
    pdf_document* doc = document->doc;
    for (pdf_obj* widget : Widgets(ctx, field->obj)) {
      const int index = PageOfWidget(ctx, doc, widget);
      if (index < 0) continue;
      pdf_obj* page = Mu(ctx, [&] { return pdf_lookup_page_obj(ctx, doc, index); });
      RemoveEntries(ctx, Mu(ctx, [&] { return pdf_dict_get(ctx, page, PDF_NAME(Annots)); }), widget);
    }
    pdf_obj* parent = Mu(ctx, [&] { return pdf_dict_get(ctx, field->obj, PDF_NAME(Parent)); });
    if (parent != nullptr) RemoveEntries(ctx, Mu(ctx, [&] { return pdf_dict_get(ctx, parent, PDF_NAME(Kids)); }), field->obj);
    RemoveEntries(ctx, Mu(ctx, [&] { return pdf_dict_get(ctx, AcroForm(ctx, doc), PDF_NAME(Fields)); }), field->obj);
    for (auto& [raw, held] : document->fields)
      if (held->next == field) held->next = field->next;
    document->fields.erase(field);
    return QP_OK;
  });
}

extern "C" qp_signature qp_field_create_signature(qp_field field) {
  return Guard<qp_signature>(__func__, nullptr, [&]() -> qp_signature {
    if (field == nullptr) return nullptr;
    fz_context* ctx = field->document->ctx;
    if (!IsSignatureField(ctx, field->obj)) return nullptr;
    const int num = ObjNumber(ctx, field->obj);
    if (num <= 0) return nullptr;
    if (Mu(ctx, [&] { return pdf_dict_get(ctx, field->obj, PDF_NAME(V)) != nullptr; })) return nullptr;
    auto signature = std::make_unique<qp_signature_s>();
    signature->document = field->document;
    signature->fieldNum = num;
    return signature.release();
  });
}

extern "C" qp_signature qp_field_get_signature(qp_field field) {
  return Guard<qp_signature>(__func__, nullptr, [&]() -> qp_signature {
    if (field == nullptr) return nullptr;
    fz_context* ctx = field->document->ctx;
    if (!IsSignatureField(ctx, field->obj)) return nullptr;
    if (!Mu(ctx, [&] { return pdf_is_dict(ctx, pdf_dict_get_inheritable(ctx, field->obj, PDF_NAME(V))); })) return nullptr;
    const int num = ObjNumber(ctx, field->obj);
    if (num <= 0) return nullptr;
    auto signature = std::make_unique<qp_signature_s>();
    signature->document = field->document;
    signature->fieldNum = num;
    return signature.release();
  });
}

extern "C" int qp_field_free_signature(qp_signature signature) {
  std::unique_ptr<qp_signature_s> owned(signature);
  return QP_OK;
}
