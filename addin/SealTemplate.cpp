#include "addin/SealTemplate.h"

#include <string_view>

namespace sealrun::addin {

void ComputeCornerOffsets(SealTemplate& record) {
  const double left = record.left;
  const double top = record.top;
  const double right = record.pageWidth - record.right;   // R
  const double down = record.pageHeight - record.bottom;  // D
  auto& o = record.cornerOffsets;
  switch (record.pageRotation) {
    case 90:
      o = {{{top, right}, {down, right}, {top, left}, {down, left}}};
      break;
    case 180:
      o = {{{right, down}, {left, down}, {right, top}, {left, top}}};
      break;
    case 270:
      o = {{{down, left}, {top, left}, {down, right}, {top, right}}};
      break;
    default:
      o = {{{left, top}, {right, top}, {left, down}, {right, down}}};
      break;
  }
}

int32_t ImageRotationFromText(std::u16string_view text) {
  for (const int32_t value : {0, 90, 180, 270}) {
    const std::u16string_view names[] = {u"0", u"90", u"180", u"270"};
    if (text == names[value / 90]) return value;
  }
  return 0;
}

}  // namespace sealrun::addin
