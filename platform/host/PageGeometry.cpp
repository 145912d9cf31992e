#include "platform/host/PageGeometry.h"

#include <algorithm>

namespace sealrun::platform::host {

int NormaliseRotation(int degrees) {
  int turned = degrees % 360;
  if (turned < 0) turned += 360;
  return turned - turned % 90;
}

PageGeometry::PageGeometry(Box cropBox, Box mediaBox, int rotate)
    : crop_(cropBox), media_(mediaBox), rotate_(NormaliseRotation(rotate)) {}

double PageGeometry::Width() const { return rotate_ % 180 == 0 ? crop_.Width() : crop_.Height(); }
double PageGeometry::Height() const { return rotate_ % 180 == 0 ? crop_.Height() : crop_.Width(); }

// Top-left-origin, y-down coordinates of the box as displayed after turning it clockwise by `rotate`.
Point PageGeometry::ToDisplayed(const Box& box, int rotate, Point user) {
  switch (rotate) {
    case 90:
      return {user.y - box.y0, user.x - box.x0};
    case 180:
      return {box.x1 - user.x, user.y - box.y0};
    case 270:
      return {box.y1 - user.y, box.x1 - user.x};
    default:
      return {user.x - box.x0, box.y1 - user.y};
  }
}

Point PageGeometry::FromDisplayed(const Box& box, int rotate, Point displayed) {
  switch (rotate) {
    case 90:
      return {box.x0 + displayed.y, box.y0 + displayed.x};
    case 180:
      return {box.x1 - displayed.x, box.y0 + displayed.y};
    case 270:
      return {box.x1 - displayed.y, box.y1 - displayed.x};
    default:
      return {box.x0 + displayed.x, box.y1 - displayed.y};
  }
}

Point PageGeometry::UserToHost(Point user) const { return ToDisplayed(crop_, rotate_, user); }
Point PageGeometry::HostToUser(Point host) const { return FromDisplayed(crop_, rotate_, host); }

Point PageGeometry::UserToEngine(Point user) const {
  const Point displayed = ToDisplayed(media_, rotate_, user);
  const double mediaHeight = rotate_ % 180 == 0 ? media_.Height() : media_.Width();
  return {displayed.x, mediaHeight - displayed.y};
}

Box PageGeometry::UserRectToHost(Box user) const {
  const Point a = UserToHost({user.x0, user.y0});
  const Point b = UserToHost({user.x1, user.y1});
  return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

}  // namespace sealrun::platform::host
