#include "config/SignatureMode.h"

namespace sealrun::config {

SignatureMode::SignatureMode(std::u16string_view text)
    : text_(text),
      form_(text == u"1" ? SealForm::SignatureField : SealForm::SealAnnotation),
      protectsRecords_(text == u"0") {}

}  // namespace sealrun::config
