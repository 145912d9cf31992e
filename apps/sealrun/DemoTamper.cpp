// The page's content stream is replaced by a new stream holding the old operators followed by the new
// ones; the engine writes the new stream and the changed page dictionary as one appended update.
#include "apps/sealrun/DemoTamper.h"

#include <vector>

#include "external/QpHandles.h"
#include "platform/fs/Paths.h"

namespace sealrun::apps {

std::optional<std::string> AppendPageContent(const std::filesystem::path& file, int pageIndex,
                                             const std::string& operators) {
  const external::EngineHandle engine = external::StartEngine();
  if (!engine) return "the PDF engine did not start";
  const external::DocumentHandle document = external::OpenDocument(engine.get(), platform::fs::PathToUtf16(file));
  if (!document) return "the engine cannot open it";
  {
    const external::PageHandle page = external::LoadPage(document.get(), pageIndex);
    if (!page) return "it has no page " + std::to_string(pageIndex + 1);
    const external::CosHandle dictionary(qp_page_object(page.get()));
    const external::CosHandle contents(dictionary ? qp_cos_dict_gets(dictionary.get(), "Contents") : nullptr);
    if (contents == nullptr || !qp_cos_is_stream(contents.get())) return "its page content is not a single stream";
    size_t length = 0;
    if (qp_cos_stream_to_buffer(contents.get(), nullptr, &length) != QP_OK) return "its page content cannot be read";
    std::vector<char> bytes(length);
    if (length > 0 && qp_cos_stream_to_buffer(contents.get(), bytes.data(), &length) != QP_OK)
      return "its page content cannot be read";
    std::string changed(bytes.data(), length);
    changed += "\n" + operators + "\n";
    const external::CosHandle stream(
        qp_cos_new_stream(document.get(), changed.data(), changed.size(), 0, nullptr, 0, 1));
    if (stream == nullptr) return "the engine made no stream";
    if (qp_cos_dict_puts(dictionary.get(), "Contents", stream.get()) != QP_OK) return "the page took no new content";
  }
  if (qp_document_save(document.get()) != QP_OK) return "the update could not be saved";
  return std::nullopt;
}

}  // namespace sealrun::apps
