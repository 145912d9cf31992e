#pragma once
// Owners of the engine handles a stamping opens besides pages (PlacementHandles.h), images (SealStamp.h)
// and object handles (verify::CosHandle): each released on every path by its destructor.
#include <memory>
#include <string_view>

#include "external/qp.h"

namespace sealrun::signing {

struct DocumentRelease {
  void operator()(qp_document document) const { qp_document_close(document); }
};
struct StringRelease {
  void operator()(qp_string text) const { qp_string_delete(text); }
};
struct SignatureRelease {
  void operator()(qp_signature signature) const { qp_field_free_signature(signature); }
};

using DocumentHandle = std::unique_ptr<qp_document_s, DocumentRelease>;
using StringHandle = std::unique_ptr<qp_string_s, StringRelease>;
using SignatureHandle = std::unique_ptr<qp_signature_s, SignatureRelease>;

// An engine string holding the text, or null when the engine cannot make one.
inline StringHandle MakeEngineString(std::u16string_view text) {
  StringHandle handle(qp_string_create());
  if (!handle) return nullptr;
  if (qp_string_append_ucs(handle.get(), reinterpret_cast<const uint16_t*>(text.data()), static_cast<int>(text.size())) !=
      QP_OK)
    return nullptr;
  return handle;
}

}  // namespace sealrun::signing
