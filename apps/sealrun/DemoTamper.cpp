// The page's content stream is replaced by a new stream holding the old operators followed by the new
// ones; the engine writes the new stream and the changed page dictionary as one appended update.
#include "apps/sealrun/DemoTamper.h"

#include <memory>
#include <vector>

#include "external/qp.h"
#include "platform/fs/Paths.h"
#include "verify/EngineHandles.h"

namespace sealrun::apps {

std::optional<std::string> AppendPageContent(const std::filesystem::path& file, int pageIndex,
                                             const std::string& operators) {
  qp_engine engine = nullptr;
  if (qp_startup(&engine, 0x20000000, 0, 0, 0) != QP_OK) return "the PDF engine did not start";
  const std::unique_ptr<qp_engine_s, int (*)(qp_engine)> engineOwner(engine, qp_cleanup);
  const auto document = verify::OpenDocument(engine, platform::fs::PathToUtf16(file));
  if (!document) return "the engine cannot open it";
  {
    const auto page = verify::LoadPage(document.get(), pageIndex);
    if (!page) return "it has no page " + std::to_string(pageIndex + 1);
    qp_cos dictionary = qp_page_object(page.get());
    qp_cos contents = dictionary ? qp_cos_dict_gets(dictionary, "Contents") : nullptr;
    if (contents == nullptr || !qp_cos_is_stream(contents)) return "its page content is not a single stream";
    size_t length = 0;
    if (qp_cos_stream_to_buffer(contents, nullptr, &length) != QP_OK) return "its page content cannot be read";
    std::vector<char> bytes(length);
    if (length > 0 && qp_cos_stream_to_buffer(contents, bytes.data(), &length) != QP_OK)
      return "its page content cannot be read";
    std::string changed(bytes.data(), length);
    changed += "\n" + operators + "\n";
    qp_cos stream = qp_cos_new_stream(document.get(), changed.data(), changed.size(), 0, nullptr, 0, 1);
    if (stream == nullptr) return "the engine made no stream";
    const int put = qp_cos_dict_puts(dictionary, "Contents", stream);
    qp_cos_delete(stream);
    if (put != QP_OK) return "the page took no new content";
  }
  if (qp_document_save(document.get()) != QP_OK) return "the update could not be saved";
  return std::nullopt;
}

}  // namespace sealrun::apps
