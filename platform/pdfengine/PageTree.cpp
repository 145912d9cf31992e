#include "platform/pdfengine/PageTree.h"

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "platform/pdfengine/UnloadedSource.h"

namespace sealrun::platform::pdfengine {

namespace {

// The engine's lookup gives up below this depth.
constexpr std::size_t kMaxDepth = 64;

// The engine's rule: a kid typed /Pages is an inner node; an untyped kid is one when it has /Kids and no
// /MediaBox. Anything else stands for a page.
bool IsInnerNode(fz_context* ctx, pdf_obj* kid) {
  return Mu(ctx, [&] {
    pdf_obj* type = pdf_dict_get(ctx, kid, PDF_NAME(Type));
    if (type != nullptr) return pdf_name_eq(ctx, type, PDF_NAME(Pages)) != 0;
    return pdf_dict_get(ctx, kid, PDF_NAME(Kids)) != nullptr && pdf_dict_get(ctx, kid, PDF_NAME(MediaBox)) == nullptr;
  });
}

// The same rule read from the kid's source, when the engine has not loaded it: the pages of a long document
// are then not parsed into objects only to be told from inner nodes. nullopt leaves the kid to the engine: a
// /Type that is not a name written in place (a reference, say) is resolved the engine's way.
std::optional<bool> IsInnerNodeBySource(fz_context* ctx, ObjectSources& sources, pdf_obj* kid) {
  const std::shared_ptr<const SourceTree> tree = UnloadedDictionary(ctx, sources, kid);
  if (tree == nullptr) return std::nullopt;
  const std::span<const SourceNode> nodes = tree->Nodes();
  if (const int type = RootEntry(*tree, "Type"); type >= 0) {
    const SourceNode& value = nodes[static_cast<std::size_t>(type)];
    if (value.kind != SourceKind::Name) return std::nullopt;
    return tree->Text(value.text) == "Pages";
  }
  return RootEntry(*tree, "Kids") >= 0 && RootEntry(*tree, "MediaBox") < 0;
}

}  // namespace

PageTreeWalk WalkPageTree(fz_context* ctx, pdf_document* doc, ObjectSources* sources) {
  struct Level {
    pdf_obj* kids;
    int next;
    int length;
    int declared;             // the node's /Count
    std::size_t pagesBefore;  // pages found before the node
  };
  PageTreeWalk walk;
  std::vector<Level> stack;
  std::unordered_set<int> visited;
  const auto enterNode = [&](pdf_obj* node, int declared) {
    const int number = pdf_is_indirect(ctx, node) ? pdf_to_num(ctx, node) : 0;
    if (number > 0 && !visited.insert(number).second) return false;
    if (stack.size() >= kMaxDepth) return false;
    pdf_obj* kids = Mu(ctx, [&] { return pdf_dict_get(ctx, node, PDF_NAME(Kids)); });
    stack.push_back({kids, 0, Mu(ctx, [&] { return pdf_array_len(ctx, kids); }), declared, walk.pages.size()});
    return true;
  };
  pdf_obj* root = Mu(ctx, [&] { return pdf_dict_getp(ctx, pdf_trailer(ctx, doc), "Root/Pages"); });
  if (root == nullptr || !enterNode(root, Mu(ctx, [&] { return pdf_count_pages(ctx, doc); }))) {
    walk.sound = false;
    return walk;
  }
  while (!stack.empty()) {
    Level& top = stack.back();
    if (top.next >= top.length) {
      if (walk.pages.size() - top.pagesBefore != static_cast<std::size_t>(std::max(top.declared, 0)))
        walk.sound = false;
      stack.pop_back();
      continue;
    }
    CheckBudget(ctx);
    const int index = top.next++;
    pdf_obj* kids = top.kids;
    pdf_obj* kid = Mu(ctx, [&] { return pdf_array_get(ctx, kids, index); });
    std::optional<bool> inner;
    if (sources != nullptr && sources->Document() == doc) inner = IsInnerNodeBySource(ctx, *sources, kid);
    if (!inner) inner = IsInnerNode(ctx, kid);
    if (!*inner) {
      walk.pages.push_back(kid);
      continue;
    }
    const int declared = Mu(ctx, [&] { return pdf_dict_get_int(ctx, kid, PDF_NAME(Count)); });
    if (!enterNode(kid, declared)) walk.sound = false;
  }
  return walk;
}

int PagesHeld(fz_context* ctx, pdf_document* doc, const PageTreeWalk& walk) {
  const int declared = Mu(ctx, [&] { return pdf_count_pages(ctx, doc); });
  return std::clamp(declared, 0, static_cast<int>(walk.pages.size()));
}

int PagesHeld(fz_context* ctx, pdf_document* doc) { return PagesHeld(ctx, doc, WalkPageTree(ctx, doc)); }

std::optional<std::vector<pdf_obj*>> PagesInOrder(fz_context* ctx, pdf_document* doc) {
  PageTreeWalk walk = WalkPageTree(ctx, doc);
  if (!walk.sound) return std::nullopt;
  return std::move(walk.pages);
}

}  // namespace sealrun::platform::pdfengine
