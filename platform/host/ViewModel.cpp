#include "platform/host/ViewModel.h"

namespace sealrun::platform::host {

void ViewModel::SetPages(std::vector<Point> pageSizes) { pageSizes_ = std::move(pageSizes); }

bool ViewModel::SetZoom(double zoom) {
  if (!(zoom >= 0.05 && zoom <= 64)) return false;
  zoom_ = zoom;
  return true;
}

void ViewModel::SetRotation(int degrees) { rotation_ = NormaliseRotation(degrees); }

Point ViewModel::TurnedSize(int pageIndex) const {
  const Point size = pageSizes_[static_cast<size_t>(pageIndex)];
  return rotation_ % 180 == 0 ? size : Point{size.y, size.x};
}

double ViewModel::PageTop(int pageIndex) const {
  double top = kMargin;
  for (int i = 0; i < pageIndex; ++i) top += TurnedSize(i).y * Scale() + kGap;
  return top;
}

std::optional<PagePoint> ViewModel::PixelToPage(Point pixel) const {
  const double x = pixel.x + scroll_.x - kMargin;
  double top = kMargin;
  for (size_t i = 0; i < pageSizes_.size(); ++i) {
    const int index = static_cast<int>(i);
    const Point turned = TurnedSize(index);
    const double y = pixel.y + scroll_.y - top;
    if (y >= 0 && y <= turned.y * Scale() && x >= 0 && x <= turned.x * Scale()) {
      // (u, v): the point on the turned page in points; undo the view rotation.
      const double u = x / Scale();
      const double v = y / Scale();
      const Point size = pageSizes_[i];
      Point point;
      switch (rotation_) {
        case 90:
          point = {v, size.y - u};
          break;
        case 180:
          point = {size.x - u, size.y - v};
          break;
        case 270:
          point = {size.x - v, u};
          break;
        default:
          point = {u, v};
      }
      return PagePoint{index, point};
    }
    top += turned.y * Scale() + kGap;
  }
  return std::nullopt;
}

std::optional<Point> ViewModel::PageToPixel(int pageIndex, Point point) const {
  if (pageIndex < 0 || static_cast<size_t>(pageIndex) >= pageSizes_.size()) return std::nullopt;
  const Point size = pageSizes_[static_cast<size_t>(pageIndex)];
  Point turned;
  switch (rotation_) {
    case 90:
      turned = {size.y - point.y, point.x};
      break;
    case 180:
      turned = {size.x - point.x, size.y - point.y};
      break;
    case 270:
      turned = {point.y, size.x - point.x};
      break;
    default:
      turned = point;
  }
  return Point{kMargin + turned.x * Scale() - scroll_.x, PageTop(pageIndex) + turned.y * Scale() - scroll_.y};
}

}  // namespace sealrun::platform::host
