#include "addin/SealTemplate.h"

namespace sealrun::addin {

int32_t ImageRotationFromText(std::u16string_view text) {
  if (text == u"90") return 90;
  if (text == u"180") return 180;
  if (text == u"270") return 270;
  return 0;  // "0" and every other text
}

}  // namespace sealrun::addin
