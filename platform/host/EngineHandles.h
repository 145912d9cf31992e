#pragma once
// One owner per engine handle, so every handle is released on every path.
#include <memory>

#include "external/qp.h"

namespace sealrun::platform::host {

struct EngineCleanup {
  void operator()(qp_engine_s* engine) const { qp_cleanup(engine); }
};
struct DocumentClose {
  void operator()(qp_document_s* document) const { qp_document_close(document); }
};
struct PageFree {
  void operator()(qp_page_s* page) const { qp_free_page(page); }
};
struct ImageFree {
  void operator()(qp_image_s* image) const { qp_image_free(image); }
};
struct CosDelete {
  void operator()(qp_cos_s* object) const { qp_cos_delete(object); }
};

using EngineHandle = std::unique_ptr<qp_engine_s, EngineCleanup>;
using DocumentHandle = std::unique_ptr<qp_document_s, DocumentClose>;
using PageHandle = std::unique_ptr<qp_page_s, PageFree>;
using ImageHandle = std::unique_ptr<qp_image_s, ImageFree>;
using CosHandle = std::unique_ptr<qp_cos_s, CosDelete>;

}  // namespace sealrun::platform::host
