// Appearance streams for image stamps and signature widgets: a form over the annotation's rectangle
// that draws the image turned by the annotation's rotation, with the annotation's blend mode.
#include <cstdio>

#include "platform/pdfengine/Internal.h"

namespace sealrun::platform::pdfengine {

int AnnotRotation(fz_context* ctx, pdf_obj* annot) {
  const int raw = Mu(ctx, [&] { return pdf_dict_get_int(ctx, annot, PDF_NAME(Rotate)); });
  const int normal = ((raw % 360) + 360) % 360;
  return normal % 90 == 0 ? normal : 0;
}

void SetImageAppearance(fz_context* ctx, pdf_document* doc, pdf_obj* annot, pdf_obj* imageRef, int rotation) {
  const fz_rect rect = Mu(ctx, [&] { return pdf_dict_get_rect(ctx, annot, PDF_NAME(Rect)); });
  const float w = rect.x1 - rect.x0;
  const float h = rect.y1 - rect.y0;
  // The unit square of the image, turned counter-clockwise by the rotation, onto [0 0 w h].
  float m[6] = {w, 0, 0, h, 0, 0};
  switch (rotation) {
    case 90: m[0] = 0; m[1] = h; m[2] = -w; m[3] = 0; m[4] = w; m[5] = 0; break;
    case 180: m[0] = -w; m[1] = 0; m[2] = 0; m[3] = -h; m[4] = w; m[5] = h; break;
    case 270: m[0] = 0; m[1] = -h; m[2] = w; m[3] = 0; m[4] = 0; m[5] = h; break;
    default: break;
  }
  char content[256];
  const bool drawImage = imageRef != nullptr;
  if (drawImage) {
    std::snprintf(content, sizeof content, "q /GS0 gs %.4f %.4f %.4f %.4f %.4f %.4f cm /Im0 Do Q\n", m[0], m[1], m[2],
                  m[3], m[4], m[5]);
  } else {
    content[0] = 0;
  }
  Mu(ctx, [&] {
    pdf_obj* resources = pdf_new_dict(ctx, doc, 2);
    fz_buffer* buffer = nullptr;
    pdf_obj* form = nullptr;
    fz_var(buffer);
    fz_var(form);
    fz_try(ctx) {
      if (drawImage) {
        pdf_obj* xobjects = pdf_dict_put_dict(ctx, resources, PDF_NAME(XObject), 1);
        pdf_dict_puts(ctx, xobjects, "Im0", imageRef);
        pdf_obj* states = pdf_dict_put_dict(ctx, resources, PDF_NAME(ExtGState), 1);
        pdf_obj* state = pdf_dict_puts_dict(ctx, states, "GS0", 2);
        pdf_dict_put(ctx, state, PDF_NAME(Type), PDF_NAME(ExtGState));
        pdf_obj* blend = pdf_dict_get(ctx, annot, PDF_NAME(BM));
        pdf_dict_put(ctx, state, PDF_NAME(BM), pdf_is_name(ctx, blend) ? blend : PDF_NAME(Normal));
      }
      buffer = fz_new_buffer_from_copied_data(ctx, reinterpret_cast<const unsigned char*>(content), strlen(content));
      form = pdf_new_xobject(ctx, doc, fz_make_rect(0, 0, w, h), fz_identity, resources, buffer);
      pdf_obj* ap = pdf_dict_put_dict(ctx, annot, PDF_NAME(AP), 1);
      pdf_dict_put(ctx, ap, PDF_NAME(N), form);
    }
    fz_always(ctx) {
      pdf_drop_obj(ctx, form);
      fz_drop_buffer(ctx, buffer);
      pdf_drop_obj(ctx, resources);
    }
    fz_catch(ctx) fz_rethrow(ctx);
  });
}

}  // namespace sealrun::platform::pdfengine
