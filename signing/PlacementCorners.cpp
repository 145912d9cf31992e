#include "signing/PlacementCorners.h"

namespace sealrun::signing {

void ComputeCornerOffsets(SealTemplate& record) {
  const double left = record.left;
  const double top = record.top;
  const double right = record.pageWidth - record.right;
  const double down = record.pageHeight - record.bottom;
  record.cornerOffsets = {{{left, top}, {right, top}, {left, down}, {right, down}}};
}

AnchorCorner PickAnchorCorner(const SealTemplate& record) {
  constexpr Corner kTieOrder[] = {Corner::BottomLeft, Corner::TopLeft, Corner::BottomRight, Corner::TopRight};
  AnchorCorner best;
  bool first = true;
  double bestSum = 0;
  for (const Corner corner : kTieOrder) {
    const CornerOffset& offset = record.Offset(corner);
    const double sum = offset.horizontal + offset.vertical;
    // Strictly smaller only: an equal sum leaves the corner that comes first in the tie order.
    if (first || sum < bestSum) {
      best = {offset.horizontal, offset.vertical, corner};
      bestSum = sum;
      first = false;
    }
  }
  return best;
}

int32_t AnnotationRotation(int32_t imageRotation, int32_t pageRotation) {
  int32_t sum = imageRotation + pageRotation;
  if (sum > 360) sum -= 360;
  return sum;
}

}  // namespace sealrun::signing
