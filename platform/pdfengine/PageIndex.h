#pragma once
// The page objects of a document in page order, found in one pass over the page tree and kept until the tree
// may have changed. Looking a page up by its number walks the tree from the root and, in a flat tree, past every
// page before it, so a computation over all pages in turn (the document fingerprint) would read the tree once
// per page.
#include <vector>

#include "platform/pdfengine/Internal.h"
#include "platform/pdfengine/ObjectSources.h"

namespace sealrun::platform::pdfengine {

class PageIndex {
 public:
  // The reference to the page dictionary as its parent's /Kids writes it (number and generation), or number 0
  // when the index cannot tell: the tree's counts do not add up to its pages, it has a cycle, or a page is no
  // object of its own. Then the page is looked up as before, so the index never gives another page than the
  // lookup would.
  struct Reference {
    int number = 0;
    int generation = 0;
  };
  // `sources` (may be null): the document's object sources, to read the tree's kids the engine has not loaded.
  Reference Find(fz_context* ctx, pdf_document* doc, ObjectSources* sources, int pageIndex);
  // The pages of the document: the count its page tree declares, but never more than the tree holds.
  int Count(fz_context* ctx, pdf_document* doc, ObjectSources* sources);
  // The page tree may have changed: read it again when next asked.
  void Forget() { doc_ = nullptr; }

 private:
  void Refresh(fz_context* ctx, pdf_document* doc, ObjectSources* sources);

  pdf_document* doc_ = nullptr;
  bool repaired_ = false;
  bool usable_ = false;
  int count_ = 0;
  std::vector<Reference> pages_;
};

// The pages of an open document, kept in its page index.
int PageCount(qp_document document);

}  // namespace sealrun::platform::pdfengine
