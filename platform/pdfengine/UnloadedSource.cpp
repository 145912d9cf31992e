#include "platform/pdfengine/UnloadedSource.h"

namespace sealrun::platform::pdfengine {

ObjectSources& SourcesOf(qp_document document) {
  std::unique_ptr<ObjectSources>& sources = document->sources;
  if (sources == nullptr || sources->Document() != document->doc) {
    sources = std::make_unique<ObjectSources>(document->ctx, document->doc);
  }
  return *sources;
}

namespace {

// EngineHasNotLoaded's test, for a caller already inside the engine's error handling.
bool NotLoadedInEngine(fz_context* ctx, pdf_document* doc, int number) {
  if (number <= 0 || number >= pdf_xref_len(ctx, doc)) return false;
  const pdf_xref_entry* entry = pdf_get_xref_entry(ctx, doc, number);
  return entry != nullptr && entry->obj == nullptr && entry->stm_buf == nullptr &&
         (entry->type == 'n' || entry->type == 'o') && entry->ofs > 0;
}

}  // namespace

bool EngineHasNotLoaded(fz_context* ctx, pdf_document* doc, int number) {
  if (doc == nullptr || doc->crypt != nullptr) return false;
  return Mu(ctx, [&] { return NotLoadedInEngine(ctx, doc, number); });
}

std::shared_ptr<const SourceTree> UnloadedDictionary(fz_context* ctx, ObjectSources& sources, pdf_obj* reference) {
  pdf_document* doc = sources.Document();
  if (doc == nullptr || doc->crypt != nullptr) return nullptr;
  int number = 0;
  // One trip into the engine for both questions: a page walk asks them of every page several times.
  const bool unloaded = Mu(ctx, [&] {
    if (!pdf_is_indirect(ctx, reference) || pdf_get_indirect_document(ctx, reference) != doc) return false;
    number = pdf_to_num(ctx, reference);
    return NotLoadedInEngine(ctx, doc, number);
  });
  if (!unloaded) return nullptr;
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
