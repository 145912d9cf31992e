#include "apps/reader/PageLayout.h"

#include <algorithm>

namespace sealrun::reader {

using platform::host::Point;
using platform::host::ViewModel;

void PageLayout::SetPages(std::vector<Point> pageSizes) {
  sizes_ = pageSizes;
  model_.SetPages(std::move(pageSizes));
  Relayout();
}

bool PageLayout::SetZoom(double zoom) {
  if (!model_.SetZoom(zoom)) return false;
  Relayout();
  return true;
}

void PageLayout::SetRotation(int degrees) {
  model_.SetRotation(degrees);
  Relayout();
}

int PageLayout::PageAt(double y) const {
  if (rects_.empty()) return -1;
  const auto below = std::upper_bound(rects_.begin(), rects_.end(), y,
                                      [](double row, const QRectF& rect) { return row < rect.bottom(); });
  return below == rects_.end() ? PageCount() - 1 : static_cast<int>(below - rects_.begin());
}

void PageLayout::Relayout() {
  rects_.clear();
  double right = 0;
  double bottom = 0;
  for (std::size_t i = 0; i < sizes_.size(); ++i) {
    const int index = static_cast<int>(i);
    // Two opposite corners of the page, wherever the view rotation puts them.
    const Point a = model_.PageToPixel(index, {0, 0}).value_or(Point{});
    const Point b = model_.PageToPixel(index, sizes_[i]).value_or(Point{});
    const QRectF rect(QPointF(std::min(a.x, b.x), std::min(a.y, b.y)), QPointF(std::max(a.x, b.x), std::max(a.y, b.y)));
    right = std::max(right, rect.right());
    bottom = std::max(bottom, rect.bottom());
    rects_.push_back(rect);
  }
  contentSize_ = QSizeF(right + ViewModel::kMargin, bottom + ViewModel::kMargin);
}

}  // namespace sealrun::reader
