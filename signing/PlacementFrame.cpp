#include "signing/PlacementFrame.h"

#include <algorithm>

#include "signing/PlacementCorners.h"

namespace sealrun::signing {

int32_t NormaliseRotation(int32_t degrees) {
  const int32_t normal = ((degrees % 360) + 360) % 360;
  return normal % 90 == 0 ? normal : 0;
}

DisplayedFrame::DisplayedFrame(PageBox box, int32_t rotation) : box_(box), rotation_(NormaliseRotation(rotation)) {}

double DisplayedFrame::Width() const { return rotation_ % 180 == 0 ? box_.x1 - box_.x0 : box_.y1 - box_.y0; }

double DisplayedFrame::Height() const { return rotation_ % 180 == 0 ? box_.y1 - box_.y0 : box_.x1 - box_.x0; }

// (u, v) is the point on the unturned page from its top-left corner, y down; a clockwise turn by 90
// brings the unturned top-left corner to the displayed top-right one.
PagePoint DisplayedFrame::FromUser(PagePoint user) const {
  const double w = box_.x1 - box_.x0;
  const double h = box_.y1 - box_.y0;
  const double u = user.x - box_.x0;
  const double v = box_.y1 - user.y;
  switch (rotation_) {
    case 90: return {h - v, u};
    case 180: return {w - u, h - v};
    case 270: return {v, w - u};
    default: return {u, v};
  }
}

PagePoint DisplayedFrame::ToUser(PagePoint displayed) const {
  const double w = box_.x1 - box_.x0;
  const double h = box_.y1 - box_.y0;
  double u = displayed.x;
  double v = displayed.y;
  switch (rotation_) {
    case 90: u = displayed.y; v = h - displayed.x; break;
    case 180: u = w - displayed.x; v = h - displayed.y; break;
    case 270: u = w - displayed.y; v = displayed.x; break;
    default: break;
  }
  return {box_.x0 + u, box_.y1 - v};
}

PageBox VisibleBox(const TargetPage& page) {
  const PageBox clipped{std::max(page.cropBox.x0, page.mediaBox.x0), std::max(page.cropBox.y0, page.mediaBox.y0),
                        std::min(page.cropBox.x1, page.mediaBox.x1), std::min(page.cropBox.y1, page.mediaBox.y1)};
  if (clipped.x1 <= clipped.x0 || clipped.y1 <= clipped.y0) return page.mediaBox;
  return clipped;
}

SealRect ComputeSealRect(const TargetPage& target, const SealTemplate& record) {
  const int32_t rotation = NormaliseRotation(target.rotation);
  const AnchorCorner anchor = PickAnchorCorner(record);
  const double w = record.Width();
  const double h = record.Height();

  // The seal's top-left corner on the visible page as displayed.
  const DisplayedFrame visible(VisibleBox(target), rotation);
  const bool right = anchor.corner == Corner::TopRight || anchor.corner == Corner::BottomRight;
  const bool lower = anchor.corner == Corner::BottomLeft || anchor.corner == Corner::BottomRight;
  const double x = right ? visible.Width() - anchor.dx - w : anchor.dx;
  const double y = lower ? visible.Height() - anchor.dy - h : anchor.dy;

  // Through user space into the displayed MediaBox, the frame the annotation's rectangle is given in.
  const DisplayedFrame media(target.mediaBox, rotation);
  const PagePoint a = media.FromUser(visible.ToUser({x, y}));
  const PagePoint b = media.FromUser(visible.ToUser({x + w, y + h}));
  SealRect rect;
  rect.llx = std::min(a.x, b.x);
  rect.urx = std::max(a.x, b.x);
  rect.lly = media.Height() - std::max(a.y, b.y);
  rect.ury = media.Height() - std::min(a.y, b.y);
  rect.rotation = AnnotationRotation(record.imageRotation, rotation);
  return rect;
}

}  // namespace sealrun::signing
