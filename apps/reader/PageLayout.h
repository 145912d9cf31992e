#pragma once
// Where each page lies in the scrolled content, in pixels, taken from the host's view model so that the
// picture on screen and the host's pixel-to-page conversion can never disagree.
#include <QRectF>
#include <QSizeF>
#include <vector>

#include "platform/host/ViewModel.h"

namespace sealrun::reader {

class PageLayout {
 public:
  void SetPages(std::vector<platform::host::Point> pageSizes);
  // False, changing nothing, outside the zoom range the view model takes.
  bool SetZoom(double zoom);
  void SetRotation(int degrees);

  const platform::host::ViewModel& Model() const { return model_; }
  int PageCount() const { return static_cast<int>(rects_.size()); }
  // The page's rectangle in content pixels (content pixel = viewport pixel + scroll offset).
  QRectF PageRect(int pageIndex) const { return rects_[static_cast<std::size_t>(pageIndex)]; }
  // The pages and the margin around them.
  QSizeF ContentSize() const { return contentSize_; }
  // The first page whose bottom lies below content row `y` (the last page when none does); -1 without pages.
  int PageAt(double y) const;

 private:
  void Relayout();

  platform::host::ViewModel model_;  // never scrolled: it gives content pixels
  std::vector<platform::host::Point> sizes_;
  std::vector<QRectF> rects_;
  QSizeF contentSize_;
};

}  // namespace sealrun::reader
