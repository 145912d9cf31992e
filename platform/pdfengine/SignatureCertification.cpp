// A certified document: its certification signature (/Root /Perms /DocMDP) states in its DocMDP transform
// which later changes keep the certification: /P 1 none, 2 form filling and signing, 3 also annotations.
#include "platform/pdfengine/Internal.h"

using namespace sealrun::platform::pdfengine;

namespace {

constexpr int kNotCertified = 0;
constexpr int kNoChanges = 1;
constexpr int kDefaultPermission = 2;  // a DocMDP transform without /P allows form filling and signing
constexpr int kMostPermissive = 3;

// The /P of the signature's DocMDP reference. A value outside 1..3 says nothing it may be trusted for, so
// it counts as the strictest.
int PermissionOf(fz_context* ctx, pdf_obj* signature) {
  pdf_obj* references = pdf_dict_get(ctx, signature, PDF_NAME(Reference));
  const int count = pdf_array_len(ctx, references);
  for (int i = 0; i < count; ++i) {
    pdf_obj* reference = pdf_array_get(ctx, references, i);
    if (!pdf_name_eq(ctx, pdf_dict_get(ctx, reference, PDF_NAME(TransformMethod)), PDF_NAME(DocMDP))) continue;
    pdf_obj* permission = pdf_dict_getp(ctx, reference, "TransformParams/P");
    if (permission == nullptr) return kDefaultPermission;
    const int value = pdf_is_int(ctx, permission) ? pdf_to_int(ctx, permission) : 0;
    return value >= kNoChanges && value <= kMostPermissive ? value : kNoChanges;
  }
  return kDefaultPermission;
}

}  // namespace

extern "C" int qp_document_certification_level(qp_document document) {
  return Guard<int>(__func__, -1, [&] {
    if (document == nullptr) Fail(QP_ERR_ARGUMENT, "no document");
    fz_context* ctx = document->ctx;
    pdf_document* doc = document->doc;
    return Mu(ctx, [&] {
      pdf_obj* signature = pdf_dict_getp(ctx, pdf_trailer(ctx, doc), "Root/Perms/DocMDP");
      return pdf_is_dict(ctx, signature) ? PermissionOf(ctx, signature) : kNotCertified;
    });
  });
}
