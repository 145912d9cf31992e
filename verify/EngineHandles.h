#pragma once
// Owners of the engine handles verification and removal open; each is released on every path.
#include <memory>
#include <string_view>

#include "external/qp.h"

namespace sealrun::verify {

struct DocumentRelease {
  void operator()(qp_document document) const { qp_document_close(document); }
};
struct PageRelease {
  void operator()(qp_page page) const { qp_free_page(page); }
};
struct SignatureRelease {
  void operator()(qp_signature signature) const { qp_field_free_signature(signature); }
};
struct CertificateRelease {
  void operator()(qp_certificate certificate) const { qp_certificate_free(certificate); }
};

using DocumentHandle = std::unique_ptr<qp_document_s, DocumentRelease>;
using PageHandle = std::unique_ptr<qp_page_s, PageRelease>;
using SignatureHandle = std::unique_ptr<qp_signature_s, SignatureRelease>;
using CertificateHandle = std::unique_ptr<qp_certificate_s, CertificateRelease>;

// Opens a file by its UTF-16 path; null when the engine cannot open it (the handle it left is closed).
DocumentHandle OpenDocument(qp_engine engine, std::u16string_view path);

// The page, or null when the index does not exist or the engine fails.
PageHandle LoadPage(qp_document document, int pageIndex);

}  // namespace sealrun::verify
