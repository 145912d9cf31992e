#pragma once
// The pages of a document in order, from one walk down its page tree, telling inner nodes from pages as the
// engine's lookup does. A lookup by index walks the tree from its root for every page, which on long documents
// costs more than the work done with the pages; and the root's /Count is only a claim: a hostile file says
// 2147483647 and holds one page.
#include <optional>
#include <vector>

#include "platform/pdfengine/Internal.h"
#include "platform/pdfengine/ObjectSources.h"

namespace sealrun::platform::pdfengine {

struct PageTreeWalk {
  // The page objects in page order, as the tree holds them (references where the tree refers); borrowed from
  // the tree, valid while it is unchanged. A node met a second time (a cycle) is skipped.
  std::vector<pdf_obj*> pages;
  // True when the lookup by index finds exactly these pages: no cycle, no node deeper than the lookup goes, and
  // every inner node's /Count (and the root's) equal to the pages found under it.
  bool sound = true;
};
// With the document's object sources, kids the engine has not loaded are told apart from their source.
PageTreeWalk WalkPageTree(fz_context* ctx, pdf_document* doc, ObjectSources* sources = nullptr);

// The pages the lookup can reach: the declared count, but never more than the tree holds.
int PagesHeld(fz_context* ctx, pdf_document* doc);
int PagesHeld(fz_context* ctx, pdf_document* doc, const PageTreeWalk& walk);

// The pages in order when the walk and the lookup agree on them; nullopt otherwise.
std::optional<std::vector<pdf_obj*>> PagesInOrder(fz_context* ctx, pdf_document* doc);

}  // namespace sealrun::platform::pdfengine
