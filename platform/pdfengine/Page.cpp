// Pages at the object level: boxes and rotation as the page tree states them (inherited values
// included) and the displayed frame in which annotation rectangles are given.
#include <cmath>

#include "platform/pdfengine/Internal.h"
#include "platform/pdfengine/PageIndex.h"
#include "platform/pdfengine/UnloadedSource.h"

using namespace sealrun::platform::pdfengine;

qp_page_s::~qp_page_s() {
  annots.clear();
  if (document != nullptr) pdf_drop_obj(document->ctx, obj);
}

qp_annot_s::~qp_annot_s() {
  if (page != nullptr && page->document != nullptr) {
    pdf_drop_obj(page->document->ctx, obj);
    pdf_drop_obj(page->document->ctx, imageRef);
  }
}

namespace sealrun::platform::pdfengine {

fz_rect PageBox(fz_context* ctx, pdf_obj* page, int kind) {
  return Mu(ctx, [&] {
    fz_rect media = pdf_to_rect(ctx, pdf_dict_get_inheritable(ctx, page, PDF_NAME(MediaBox)));
    if (fz_is_empty_rect(media)) media = fz_make_rect(0, 0, 612, 792);
    if (kind != QP_BOX_CROP) return media;
    pdf_obj* crop = pdf_dict_get_inheritable(ctx, page, PDF_NAME(CropBox));
    if (!pdf_is_array(ctx, crop)) return media;
    fz_rect box = pdf_to_rect(ctx, crop);
    return fz_is_empty_rect(box) ? media : box;
  });
}

int PageRotation(fz_context* ctx, pdf_obj* page) {
  const int raw = Mu(ctx, [&] { return pdf_to_int(ctx, pdf_dict_get_inheritable(ctx, page, PDF_NAME(Rotate))); });
  const int normal = ((raw % 360) + 360) % 360;
  return normal % 90 == 0 ? normal : 0;
}

fz_rect DisplayedToUser(fz_rect displayed, fz_rect media, int rotation) {
  const float width = media.x1 - media.x0;
  auto map = [&](float x, float y) {
    switch (rotation) {
      case 90: return fz_make_point(media.x0 + width - y, media.y0 + x);
      case 180: return fz_make_point(media.x1 - x, media.y1 - y);
      case 270: return fz_make_point(media.x0 + y, media.y1 - x);
      default: return fz_make_point(media.x0 + x, media.y0 + y);
    }
  };
  const fz_point a = map(displayed.x0, displayed.y0);
  const fz_point b = map(displayed.x1, displayed.y1);
  return fz_make_rect(std::fmin(a.x, b.x), std::fmin(a.y, b.y), std::fmax(a.x, b.x), std::fmax(a.y, b.y));
}

}  // namespace sealrun::platform::pdfengine

namespace {

void WriteBox(const fz_rect& box, double out[4]) {
  out[0] = box.x0;
  out[1] = box.y0;
  out[2] = box.x1;
  out[3] = box.y1;
}

}  // namespace

extern "C" int qp_load_page(qp_document document, int pageIndex, qp_page* page) {
  return GuardCode(__func__, [&] {
    if (page == nullptr) Fail(QP_ERR_ARGUMENT, "no page slot");
    *page = nullptr;
    if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    fz_context* ctx = document->ctx;
    EnforceBudget(ctx);
    const int pages = PageCount(document);
    if (pageIndex < 0 || pageIndex >= pages) Fail(QP_ERR_ARGUMENT, "no such page");
    ObjectSources& sources = SourcesOf(document);
    const PageIndex::Reference found = document->pages->Find(ctx, document->doc, &sources, pageIndex);
    // Either way the reference the page tree holds, and one of the caller's: the lookup lends it, a new one is
    // made.
    std::unique_ptr<pdf_obj, ObjDrop> obj(Mu(ctx, [&] {
      return found.number > 0 ? pdf_new_indirect(ctx, document->doc, found.number, found.generation)
                              : pdf_keep_obj(ctx, pdf_lookup_page_obj(ctx, document->doc, pageIndex));
    }), ObjDrop{ctx});
    // A page the engine has not read yet stays unread when its source shows a dictionary.
    if (UnloadedDictionary(ctx, sources, obj.get()) == nullptr && !Mu(ctx, [&] { return pdf_is_dict(ctx, obj.get()); }))
      Fail(QP_ERR_ENGINE, "page is not a dictionary");
    auto loaded = std::make_unique<qp_page_s>();
    loaded->document = document;
    loaded->doc = document->doc;
    loaded->obj = obj.release();
    loaded->index = pageIndex;
    *page = loaded.release();
    return QP_OK;
  });
}

extern "C" int qp_free_page(qp_page page) {
  std::unique_ptr<qp_page_s> owned(page);
  return QP_OK;
}

extern "C" int qp_page_get_box(qp_document document, int pageIndex, int boxKind, double box[4]) {
  return GuardCode(__func__, [&] {
    if (document == nullptr || box == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    if (boxKind != QP_BOX_MEDIA && boxKind != QP_BOX_CROP) Fail(QP_ERR_UNSUPPORTED, "unknown box");
    fz_context* ctx = document->ctx;
    const int pages = PageCount(document);
    if (pageIndex < 0 || pageIndex >= pages) Fail(QP_ERR_ARGUMENT, "no such page");
    pdf_obj* obj = Mu(ctx, [&] { return pdf_lookup_page_obj(ctx, document->doc, pageIndex); });
    WriteBox(PageBox(ctx, obj, boxKind), box);
    return QP_OK;
  });
}

extern "C" int qp_page_box(qp_page page, int boxKind, double box[4]) {
  return GuardCode(__func__, [&] {
    if (page == nullptr || box == nullptr) Fail(QP_ERR_ARGUMENT, "no page");
    if (boxKind != QP_BOX_MEDIA && boxKind != QP_BOX_CROP) Fail(QP_ERR_UNSUPPORTED, "unknown box");
    WriteBox(PageBox(page->document->ctx, page->obj, boxKind), box);
    return QP_OK;
  });
}

extern "C" int qp_page_rotate(qp_page page, int* degrees) {
  return GuardCode(__func__, [&] {
    if (page == nullptr || degrees == nullptr) Fail(QP_ERR_ARGUMENT, "no page");
    *degrees = PageRotation(page->document->ctx, page->obj);
    return QP_OK;
  });
}

extern "C" qp_cos qp_page_object(qp_page page) {
  return Guard<qp_cos>(__func__, nullptr, [&]() -> qp_cos {
    if (page == nullptr) return nullptr;
    return WrapObject(page->document, page->obj);
  });
}
