#pragma once
// The pages of a document in order, from one walk down its page tree.
#include <optional>
#include <vector>

#include "platform/pdfengine/Internal.h"

namespace sealrun::platform::pdfengine {

// The page objects in page order (as the tree holds them: references where the tree refers). A lookup by
// index walks the tree from its root for every page, which on long documents costs more than the work done
// with the pages. nullopt for a tree with a cycle or deeper than 100 levels.
std::optional<std::vector<pdf_obj*>> PagesInOrder(fz_context* ctx, pdf_document* doc);

}  // namespace sealrun::platform::pdfengine
