#pragma once
// The frames a page is seen in and the conversions between them:
// - user space: the PDF's own coordinates (y up, origin wherever the file puts it);
// - the host frame: the CropBox (MediaBox when there is none) as displayed with /Rotate applied, origin
//   at its displayed top-left corner, y down, in points;
// - the engine frame: the MediaBox as displayed, origin at its displayed bottom-left corner, y up (what
//   qp_annot_set_rect takes).
namespace sealrun::platform::host {

struct Point {
  double x = 0;
  double y = 0;
};

struct Box {
  double x0 = 0;
  double y0 = 0;
  double x1 = 0;
  double y1 = 0;
  double Width() const { return x1 - x0; }
  double Height() const { return y1 - y0; }
};

class PageGeometry {
 public:
  PageGeometry() = default;
  // rotate is normalised to 0, 90, 180 or 270 (other values count as the nearest lower multiple of 90).
  PageGeometry(Box cropBox, Box mediaBox, int rotate);

  int Rotate() const { return rotate_; }
  // Displayed size of the CropBox (the host's page size).
  double Width() const;
  double Height() const;

  Point UserToHost(Point user) const;
  Point HostToUser(Point host) const;
  Point UserToEngine(Point user) const;
  Point HostToEngine(Point host) const { return UserToEngine(HostToUser(host)); }
  // The host-frame rectangle covering a user-space rectangle (any corner order).
  Box UserRectToHost(Box user) const;

 private:
  static Point ToDisplayed(const Box& box, int rotate, Point user);
  static Point FromDisplayed(const Box& box, int rotate, Point displayed);

  Box crop_;
  Box media_;
  int rotate_ = 0;
};

// 0, 90, 180 or 270 for any multiple of 90 (negative ones too); other values fall to the lower multiple.
int NormaliseRotation(int degrees);

}  // namespace sealrun::platform::host
