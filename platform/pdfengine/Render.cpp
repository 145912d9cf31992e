// qp_page_render: a page drawn as a reader shows it, contents and annotations by their appearances.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "platform/pdfengine/EngineBudget.h"
#include "platform/pdfengine/Internal.h"

using namespace sealrun::platform::pdfengine;

namespace {

// Neither side of a rendered page is larger than this, whatever the zoom.
constexpr double kMaxSide = 16384;

struct PageDrop {
  fz_context* ctx;
  void operator()(fz_page* page) const { fz_drop_page(ctx, page); }
};
struct PixmapDrop {
  fz_context* ctx;
  void operator()(fz_pixmap* pixmap) const { fz_drop_pixmap(ctx, pixmap); }
};
struct DeviceDrop {
  fz_context* ctx;
  void operator()(fz_device* device) const { fz_drop_device(ctx, device); }
};

// The engine's page for the dictionary the caller holds: found by its place in the engine's own page tree,
// and refused when that place holds another dictionary (a tree the engine reads differently from ours).
std::unique_ptr<fz_page, PageDrop> EnginePage(qp_page page) {
  fz_context* ctx = page->document->ctx;
  pdf_document* doc = page->doc;
  const int number = Mu(ctx, [&] { return pdf_lookup_page_number(ctx, doc, page->obj); });
  if (number < 0) Fail(QP_ERR_UNSUPPORTED, "the page is not in the engine's page tree");
  std::unique_ptr<fz_page, PageDrop> loaded(
      Mu(ctx, [&] { return reinterpret_cast<fz_page*>(pdf_load_page(ctx, doc, number)); }), PageDrop{ctx});
  const bool same = Mu(ctx, [&] {
    return pdf_resolve_indirect(ctx, reinterpret_cast<pdf_page*>(loaded.get())->obj) ==
           pdf_resolve_indirect(ctx, page->obj);
  });
  if (!same) Fail(QP_ERR_UNSUPPORTED, "the engine's page tree holds another page there");
  return loaded;
}

}  // namespace

extern "C" int qp_page_render(qp_page page, double zoom, int rotation, unsigned char* buffer, size_t capacity,
                              int* width, int* height) {
  return GuardCode(__func__, [&] {
    if (page == nullptr || width == nullptr || height == nullptr) Fail(QP_ERR_ARGUMENT, "no page");
    if (!(zoom > 0) || !std::isfinite(zoom) || rotation % 90 != 0) Fail(QP_ERR_ARGUMENT, "no such zoom or rotation");
    fz_context* ctx = page->document->ctx;
    EnforceBudget(ctx);
    const std::unique_ptr<fz_page, PageDrop> engine = EnginePage(page);
    const fz_rect bounds = Mu(ctx, [&] { return fz_bound_page(ctx, engine.get()); });
    const double side = std::max(bounds.x1 - bounds.x0, bounds.y1 - bounds.y0);
    const double scale = side * zoom > kMaxSide ? kMaxSide / side : zoom;
    const fz_matrix ctm = fz_pre_rotate(fz_scale(static_cast<float>(scale), static_cast<float>(scale)),
                                        static_cast<float>(((rotation % 360) + 360) % 360));
    const fz_irect box = fz_round_rect(fz_transform_rect(bounds, ctm));
    *width = box.x1 - box.x0;
    *height = box.y1 - box.y0;
    if (*width <= 0 || *height <= 0) Fail(QP_ERR_UNSUPPORTED, "the page has no area");
    if (buffer == nullptr) return QP_OK;
    const std::size_t rowBytes = static_cast<std::size_t>(*width) * 3;
    if (capacity < rowBytes * static_cast<std::size_t>(*height)) return static_cast<int>(QP_ERR_BUFFER);

    const std::unique_ptr<fz_pixmap, PixmapDrop> pixmap(
        Mu(ctx, [&] { return fz_new_pixmap_with_bbox(ctx, fz_device_rgb(ctx), box, nullptr, 0); }), PixmapDrop{ctx});
    Mu(ctx, [&] { fz_clear_pixmap_with_value(ctx, pixmap.get(), 0xFF); });
    {
      const std::unique_ptr<fz_device, DeviceDrop> device(
          Mu(ctx, [&] { return fz_new_draw_device(ctx, fz_identity, pixmap.get()); }), DeviceDrop{ctx});
      Mu(ctx, [&] {
        fz_run_page(ctx, engine.get(), device.get(), ctm, nullptr);
        fz_close_device(ctx, device.get());
      });
    }
    CheckBudget(ctx);
    const unsigned char* samples = fz_pixmap_samples(ctx, pixmap.get());
    const std::size_t stride = static_cast<std::size_t>(fz_pixmap_stride(ctx, pixmap.get()));
    for (int row = 0; row < *height; ++row) {
      std::memcpy(buffer + rowBytes * static_cast<std::size_t>(row), samples + stride * static_cast<std::size_t>(row), rowBytes);
    }
    return QP_OK;
  });
}
