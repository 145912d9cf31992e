#include "platform/pdfengine/UnloadedSource.h"

namespace sealrun::platform::pdfengine {

ObjectSources& SourcesOf(qp_document document) {
  std::unique_ptr<ObjectSources>& sources = document->sources;
  if (sources == nullptr || sources->Document() != document->doc) {
    sources = std::make_unique<ObjectSources>(document->ctx, document->doc);
  }
  return *sources;
}

bool EngineHasNotLoaded(fz_context* ctx, pdf_document* doc, int number) {
  if (doc == nullptr || doc->crypt != nullptr) return false;
  bool unloaded = false;
  Mu(ctx, [&] {
    if (number <= 0 || number >= pdf_xref_len(ctx, doc)) return;
    const pdf_xref_entry* entry = pdf_get_xref_entry(ctx, doc, number);
    unloaded = entry != nullptr && entry->obj == nullptr && entry->stm_buf == nullptr &&
               (entry->type == 'n' || entry->type == 'o') && entry->ofs > 0;
  });
  return unloaded;
}

std::shared_ptr<const SourceTree> UnloadedDictionary(fz_context* ctx, ObjectSources& sources, pdf_obj* reference) {
  pdf_document* doc = sources.Document();
  int number = 0;
  const bool ours = Mu(ctx, [&] {
    if (!pdf_is_indirect(ctx, reference) || pdf_get_indirect_document(ctx, reference) != doc) return false;
    number = pdf_to_num(ctx, reference);
    return true;
  });
  if (!ours || !EngineHasNotLoaded(ctx, doc, number)) return nullptr;
  std::shared_ptr<const SourceTree> tree = sources.Load(number);
  if (tree == nullptr || !tree->StandsAlone() || tree->EndsWith() != SourceTree::Ending::EndObj ||
      tree->Nodes()[0].kind != SourceKind::Dict) {
    return nullptr;
  }
  return tree;
}

int RootEntry(const SourceTree& tree, std::string_view key) {
  const std::span<const SourceNode> nodes = tree.Nodes();
  std::size_t child = 1;
  for (std::uint32_t k = 0; k < nodes[0].count; ++k) {
    const SourceNode& entry = nodes[child];
    if (tree.Text(entry.key) == key) return entry.kind == SourceKind::Null ? -1 : static_cast<int>(child);
    child += entry.size;
  }
  return -1;
}

}  // namespace sealrun::platform::pdfengine
