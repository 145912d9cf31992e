#include "components/handwriting/WindowTexts.h"

namespace sealrun::components::handwriting {

WindowTexts TextsForLanguage(std::u16string_view prefix) {
  if (prefix == u"GBC_") return {u"手写签名", u"密码", u"清除"};
  if (prefix == u"GBB_") return {u"手寫簽名", u"密碼", u"清除"};
  return {u"Handwritten signature", u"PIN", u"Clear"};
}

}  // namespace sealrun::components::handwriting
