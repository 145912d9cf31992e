#include "platform/pdfengine/PageIndex.h"

#include <algorithm>

namespace sealrun::platform::pdfengine {
namespace {

constexpr int kMaxTreeDepth = 64;

}  // namespace

PageIndex::Reference PageIndex::Find(fz_context* ctx, pdf_document* doc, int pageIndex) {
  const auto wasRepaired = [&] { return Mu(ctx, [&] { return pdf_was_repaired(ctx, doc); }) != 0; };
  // A repair rebuilds the cross-reference and may give the pages other objects; reading the tree may itself
  // set one off, and then the tree is read again from the repaired file.
  for (int attempt = 0; attempt < 2 && (doc != doc_ || wasRepaired() != repaired_); ++attempt) {
    doc_ = doc;
    repaired_ = wasRepaired();
    try {
      usable_ = Build(ctx, doc);
    } catch (const EngineError&) {
      usable_ = false;  // the lookup meets the same fault and reports it as it always has
    }
    if (!usable_) pages_.clear();
  }
  if (!usable_ || wasRepaired() != repaired_) return {};
  if (pageIndex < 0 || static_cast<std::size_t>(pageIndex) >= pages_.size()) return {};
  return pages_[static_cast<std::size_t>(pageIndex)];
}

// Depth first, telling page-tree nodes from pages as the engine's lookup does; every node's /Count must be the
// pages found under it, for the lookup skips whole nodes by their counts.
bool PageIndex::Build(fz_context* ctx, pdf_document* doc) {
  pages_.clear();
  const int count = Mu(ctx, [&] { return pdf_count_pages(ctx, doc); });
  pdf_obj* root = Mu(ctx, [&] {
    return pdf_dict_get(ctx, pdf_dict_get(ctx, pdf_trailer(ctx, doc), PDF_NAME(Root)), PDF_NAME(Pages));
  });
  std::vector<int> path;
  return root != nullptr && Add(ctx, root, 0, path) && pages_.size() == static_cast<std::size_t>(count);
}

bool PageIndex::Add(fz_context* ctx, pdf_obj* node, int depth, std::vector<int>& path) {
  const int nodeNumber = pdf_to_num(ctx, node);
  if (depth > kMaxTreeDepth || nodeNumber <= 0 || std::find(path.begin(), path.end(), nodeNumber) != path.end()) {
    return false;
  }
  path.push_back(nodeNumber);
  const int length = Mu(ctx, [&] { return pdf_array_len(ctx, pdf_dict_get(ctx, node, PDF_NAME(Kids))); });
  for (int i = 0; i < length; ++i) {
    pdf_obj* kid = nullptr;
    int declared = 0;
    const bool treeNode = Mu(ctx, [&] {
      kid = pdf_array_get(ctx, pdf_dict_get(ctx, node, PDF_NAME(Kids)), i);
      pdf_obj* type = pdf_dict_get(ctx, kid, PDF_NAME(Type));
      const bool pages = type != nullptr ? pdf_name_eq(ctx, type, PDF_NAME(Pages)) != 0
                                         : pdf_dict_get(ctx, kid, PDF_NAME(Kids)) != nullptr &&
                                               pdf_dict_get(ctx, kid, PDF_NAME(MediaBox)) == nullptr;
      if (pages) declared = pdf_dict_get_int(ctx, kid, PDF_NAME(Count));
      return pages;
    });
    if (!treeNode) {
      const int number = pdf_to_num(ctx, kid);
      if (!pdf_is_indirect(ctx, kid) || number <= 0) return false;
      pages_.push_back({number, pdf_to_gen(ctx, kid)});
      continue;
    }
    const std::size_t before = pages_.size();
    if (!Add(ctx, kid, depth + 1, path)) return false;
    if (pages_.size() - before != static_cast<std::size_t>(declared)) return false;
  }
  path.pop_back();
  return true;
}

}  // namespace sealrun::platform::pdfengine
