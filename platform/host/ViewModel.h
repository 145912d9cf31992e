#pragma once
// The page view of a document: pages stacked from top to bottom with a margin around and a gap between
// them, zoomed and turned by the view's own rotation, scrolled. Converts view pixels to a page and a
// point in that page's host frame, and back.
#include <optional>
#include <vector>

#include "platform/host/PageGeometry.h"

namespace sealrun::platform::host {

struct PagePoint {
  int pageIndex = -1;
  Point point;  // host frame, points
};

class ViewModel {
 public:
  // Pixels around the pages and between two pages.
  static constexpr double kMargin = 8;
  static constexpr double kGap = 8;
  // At zoom 1 a point is 96/72 pixels, as the screen shows a page at 100%.
  static constexpr double kPixelsPerPoint = 96.0 / 72.0;

  // The displayed sizes of the pages (host frame), in page order.
  void SetPages(std::vector<Point> pageSizes);
  size_t PageCount() const { return pageSizes_.size(); }

  double Zoom() const { return zoom_; }
  // Zoom factors outside 0.05 to 64 are refused (false).
  bool SetZoom(double zoom);
  int Rotation() const { return rotation_; }
  // Any multiple of 90; stored as 0, 90, 180 or 270.
  void SetRotation(int degrees);
  Point Scroll() const { return scroll_; }
  void SetScroll(Point pixels) { scroll_ = pixels; }

  // The page under a view pixel and the point on it; nullopt between and around the pages.
  std::optional<PagePoint> PixelToPage(Point pixel) const;
  // The view pixel of a point of a page; nullopt for a page that does not exist.
  std::optional<Point> PageToPixel(int pageIndex, Point point) const;

 private:
  double Scale() const { return zoom_ * kPixelsPerPoint; }
  // The page's size on screen in points, the view rotation applied.
  Point TurnedSize(int pageIndex) const;
  // The page's top in pixels before scrolling.
  double PageTop(int pageIndex) const;

  std::vector<Point> pageSizes_;
  double zoom_ = 1.0;
  int rotation_ = 0;
  Point scroll_;
};

}  // namespace sealrun::platform::host
