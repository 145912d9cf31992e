#pragma once
// Page frames of placement: PDF user space (as the page dictionary states its boxes, y up) and the page
// as displayed (the visible box with /Rotate applied, top-left origin, y down). /Rotate turns the page
// clockwise on screen, as every viewer shows it.
#include <cstdint>

#include "signing/SealTemplate.h"

namespace sealrun::signing {

struct PageBox {
  double x0 = 0;
  double y0 = 0;
  double x1 = 0;
  double y1 = 0;
  bool operator==(const PageBox&) const = default;
};

struct PagePoint {
  double x = 0;
  double y = 0;
};

// 0, 90, 180 or 270; anything that is not a quarter turn counts as 0, as viewers treat it.
int32_t NormaliseRotation(int32_t degrees);

// One box of a page seen with the page's rotation.
class DisplayedFrame {
 public:
  DisplayedFrame(PageBox box, int32_t rotation);

  double Width() const;   // displayed width: the box's height on a page turned by 90 or 270
  double Height() const;
  // User space to the displayed top-left frame and back.
  PagePoint FromUser(PagePoint user) const;
  PagePoint ToUser(PagePoint displayed) const;

 private:
  PageBox box_;
  int32_t rotation_;
};

// What placement needs to know of a target page.
struct TargetPage {
  PageBox mediaBox;
  PageBox cropBox;  // equal to mediaBox when the page has none
  int32_t rotation = 0;
};

// The part of the page a viewer shows: the CropBox clipped to the MediaBox (the MediaBox when they do
// not overlap).
PageBox VisibleBox(const TargetPage& page);

// The seal's rectangle in the frame the annotation takes it in (the MediaBox as displayed, origin at its
// displayed bottom-left corner, y up) and the annotation's rotation.
struct SealRect {
  double llx = 0;
  double lly = 0;
  double urx = 0;
  double ury = 0;
  int32_t rotation = 0;
};

// Keeps the record's distance to its anchor corner on the target page as displayed: the seal lands that
// far from the same displayed corner of the visible box, however the page is turned and wherever its
// boxes start.
SealRect ComputeSealRect(const TargetPage& target, const SealTemplate& record);

}  // namespace sealrun::signing
