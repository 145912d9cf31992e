#include "verify/EngineHandles.h"

#include "platform/text/Utf.h"

namespace sealrun::verify {

DocumentHandle OpenDocument(qp_engine engine, std::u16string_view path) {
  const std::string utf8 = platform::text::Utf16ToUtf8(path);
  qp_document document = nullptr;
  const int opened = qp_document_open(engine, &document, utf8.c_str());
  DocumentHandle handle(document);  // closed on every path, after a failed open too
  if (opened != QP_OK) return nullptr;
  return handle;
}

PageHandle LoadPage(qp_document document, int pageIndex) {
  qp_page page = nullptr;
  const int loaded = qp_load_page(document, pageIndex, &page);
  PageHandle handle(page);
  if (loaded != QP_OK) return nullptr;
  return handle;
}

}  // namespace sealrun::verify
