#pragma once
// Owners of the engine handles placement opens: each released on every path by its destructor.
#include <memory>

#include "external/qp.h"

namespace sealrun::signing {

struct PageRelease {
  void operator()(qp_page page) const { qp_free_page(page); }
};
struct TextRelease {
  void operator()(qp_text text) const { qp_page_close_text(text); }
};
struct SearchRelease {
  void operator()(qp_search search) const { qp_search_free(search); }
};

using PageHandle = std::unique_ptr<qp_page_s, PageRelease>;
using TextHandle = std::unique_ptr<qp_text_s, TextRelease>;
using SearchHandle = std::unique_ptr<qp_search_s, SearchRelease>;

// The page, or null when the index does not exist or the engine fails.
inline PageHandle LoadPage(qp_document document, int pageIndex) {
  qp_page page = nullptr;
  if (qp_load_page(document, pageIndex, &page) != QP_OK) {
    qp_free_page(page);
    return nullptr;
  }
  return PageHandle(page);
}

}  // namespace sealrun::signing
