#include "platform/pdfengine/PageTree.h"

#include <set>

namespace sealrun::platform::pdfengine {

namespace {
constexpr int kMaxDepth = 100;
}  // namespace

std::optional<std::vector<pdf_obj*>> PagesInOrder(fz_context* ctx, pdf_document* doc) {
  struct Level {
    pdf_obj* kids;
    int next;
    int count;
  };
  std::vector<pdf_obj*> pages;
  std::vector<Level> stack;
  std::set<int> visited;
  // A node with /Kids is an inner node; anything else stands for a page, as the engine's lookup takes it.
  const auto enter = [&](pdf_obj* node) {
    const int number = pdf_is_indirect(ctx, node) ? pdf_to_num(ctx, node) : 0;
    if (number > 0 && !visited.insert(number).second) return false;
    pdf_obj* kids = Mu(ctx, [&] { return pdf_dict_get(ctx, node, PDF_NAME(Kids)); });
    if (Mu(ctx, [&] { return pdf_is_array(ctx, kids); }) == 0) {
      pages.push_back(node);
      return true;
    }
    if (stack.size() >= static_cast<std::size_t>(kMaxDepth)) return false;
    stack.push_back({kids, 0, Mu(ctx, [&] { return pdf_array_len(ctx, kids); })});
    return true;
  };
  if (!enter(Mu(ctx, [&] { return pdf_dict_getp(ctx, pdf_trailer(ctx, doc), "Root/Pages"); }))) return std::nullopt;
  while (!stack.empty()) {
    Level& top = stack.back();
    if (top.next >= top.count) {
      stack.pop_back();
      continue;
    }
    const int index = top.next++;
    pdf_obj* kids = top.kids;
    if (!enter(Mu(ctx, [&] { return pdf_array_get(ctx, kids, index); }))) return std::nullopt;
  }
  return pages;
}

}  // namespace sealrun::platform::pdfengine
