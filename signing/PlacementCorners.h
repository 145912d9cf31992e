#pragma once
// Corner arithmetic of placement records: the distances to the four displayed corners, the anchor corner
// a seal keeps its distance to, and the rotation handed to the seal annotation.
#include <cstdint>

#include "signing/SealTemplate.h"

namespace sealrun::signing {

// Fills cornerOffsets from the rectangle and the displayed page size. The offsets are measured on the
// page as displayed, whatever its rotation: a seal near the displayed bottom-right corner of a rotated
// template keeps its distance to the displayed bottom-right corner of every target page, which is where
// the user looks for it.
void ComputeCornerOffsets(SealTemplate& record);

struct AnchorCorner {
  double dx = 0;  // horizontal distance to the corner
  double dy = 0;  // vertical distance to the corner
  Corner corner = Corner::BottomLeft;
  bool operator==(const AnchorCorner&) const = default;
};

// The corner whose two offsets add up to the least. Ties go to bottom-left, then top-left, bottom-right,
// top-right.
AnchorCorner PickAnchorCorner(const SealTemplate& record);

// The seal annotation's rotation: the image's own turn on top of the target page's /Rotate, so that an
// image turn of 0 stands upright on screen. A sum above 360 wraps; exactly 360 is kept (it means 0).
int32_t AnnotationRotation(int32_t imageRotation, int32_t pageRotation);

}  // namespace sealrun::signing
