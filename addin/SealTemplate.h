#pragma once
// One placement record: where a pre-stamp stands on its page, and its distances to the page's corners
// so that placement can keep the distance to the nearest corner on pages of another size.
#include <array>
#include <cstdint>
#include <string>

namespace sealrun::addin {

struct CornerOffset {
  double horizontal = 0;
  double vertical = 0;
  bool operator==(const CornerOffset&) const = default;
};

enum class Corner { TopLeft = 0, TopRight = 1, BottomLeft = 2, BottomRight = 3 };

struct SealTemplate {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
  int32_t pageIndex = 0;
  int32_t pageRotation = 0;
  std::u16string name;
  int32_t imageRotation = 0;
  double pageWidth = 0;
  double pageHeight = 0;
  std::array<CornerOffset, 4> cornerOffsets{};  // by Corner

  const CornerOffset& Offset(Corner corner) const { return cornerOffsets[static_cast<size_t>(corner)]; }
};

// Fills cornerOffsets from the rectangle, the page size and the page rotation. The offsets are measured
// in the page as the user sees it, so a rotated page swaps and mirrors them.
void ComputeCornerOffsets(SealTemplate& record);

// The image rotation stored as text with a pre-stamp: "0", "90", "180" or "270"; anything else is 0.
int32_t ImageRotationFromText(std::u16string_view text);

}  // namespace sealrun::addin
