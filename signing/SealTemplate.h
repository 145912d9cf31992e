#pragma once
// One placement record: where a seal stands on its page and its distances to the page's corners, so that
// placement can keep the distance to the nearest corner on pages of another size. Made from a pre-stamp
// on the template document or from a keyword hit; consumed by seal placement.
//
// Frame of the record: the page as it is displayed (its CropBox, or MediaBox when it has none, with the
// page's /Rotate applied), origin at the displayed top-left corner, x to the right, y downward, in
// points. pageWidth and pageHeight are the displayed sizes (swapped on pages rotated by 90 or 270).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace sealrun::signing {

struct CornerOffset {
  double horizontal = 0;
  double vertical = 0;
  bool operator==(const CornerOffset&) const = default;
};

// The corners as the page is displayed; the values index cornerOffsets.
enum class Corner { TopLeft = 0, TopRight = 1, BottomLeft = 2, BottomRight = 3 };

struct SealTemplate {
  double left = 0;
  double top = 0;
  double right = 0;   // left + seal width
  double bottom = 0;  // top + seal height
  int32_t pageIndex = 0;
  int32_t pageRotation = 0;  // the page's /Rotate when the record was made
  std::u16string name;       // empty for keyword records
  int32_t imageRotation = 0;  // extra turn of the seal image: 0, 90, 180 or 270
  double pageWidth = 0;
  double pageHeight = 0;
  std::array<CornerOffset, 4> cornerOffsets{};  // by Corner

  double Width() const { return right - left; }
  double Height() const { return bottom - top; }
  const CornerOffset& Offset(Corner corner) const { return cornerOffsets[static_cast<size_t>(corner)]; }
};

}  // namespace sealrun::signing
