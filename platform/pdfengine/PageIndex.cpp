#include "platform/pdfengine/PageIndex.h"

#include "platform/pdfengine/PageTree.h"
#include "platform/pdfengine/UnloadedSource.h"

namespace sealrun::platform::pdfengine {

void PageIndex::Refresh(fz_context* ctx, pdf_document* doc, ObjectSources* sources) {
  const auto wasRepaired = [&] { return Mu(ctx, [&] { return pdf_was_repaired(ctx, doc); }) != 0; };
  // A repair rebuilds the cross-reference and may give the pages other objects; reading the tree may itself
  // set one off, and then the tree is read again from the repaired file.
  for (int attempt = 0; attempt < 2 && (doc != doc_ || wasRepaired() != repaired_); ++attempt) {
    doc_ = doc;
    repaired_ = wasRepaired();
    pages_.clear();
    usable_ = false;
    count_ = 0;
    try {
      const PageTreeWalk walk = WalkPageTree(ctx, doc, sources);
      count_ = PagesHeld(ctx, doc, walk);
      usable_ = walk.sound;
      for (pdf_obj* page : walk.pages) {
        const int number = pdf_is_indirect(ctx, page) ? pdf_to_num(ctx, page) : 0;
        if (number <= 0) usable_ = false;
        pages_.push_back({number, pdf_to_gen(ctx, page)});
      }
    } catch (const EngineError&) {
      // The lookup meets the same fault and reports it as it always has; the count reports it too.
      usable_ = false;
      count_ = -1;
    }
    if (!usable_) pages_.clear();
  }
}

PageIndex::Reference PageIndex::Find(fz_context* ctx, pdf_document* doc, ObjectSources* sources, int pageIndex) {
  Refresh(ctx, doc, sources);
  if (!usable_ || Mu(ctx, [&] { return pdf_was_repaired(ctx, doc); }) != (repaired_ ? 1 : 0)) return {};
  if (pageIndex < 0 || static_cast<std::size_t>(pageIndex) >= pages_.size()) return {};
  return pages_[static_cast<std::size_t>(pageIndex)];
}

int PageIndex::Count(fz_context* ctx, pdf_document* doc, ObjectSources* sources) {
  Refresh(ctx, doc, sources);
  if (count_ < 0) Fail(QP_ERR_ENGINE, "the page tree cannot be read");
  return count_;
}

}  // namespace sealrun::platform::pdfengine

namespace sealrun::platform::pdfengine {

int PageCount(qp_document document) {
  if (document->pages == nullptr) document->pages = std::make_unique<PageIndex>();
  return document->pages->Count(document->ctx, document->doc, &SourcesOf(document));
}

}  // namespace sealrun::platform::pdfengine
