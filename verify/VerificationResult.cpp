#include "verify/VerificationResult.h"

#include "platform/text/Utf.h"

namespace sealrun::verify {

std::u16string VerificationResultText(int valid, int invalid) {
  using platform::text::Widen;
  return u"印章总数:" + Widen(std::to_string(valid + invalid)) + u" 有效:" + Widen(std::to_string(valid)) +
         u" 失效:" + Widen(std::to_string(invalid));
}

std::u16string VerificationResult::Text() const {
  return opened_ ? VerificationResultText(valid_, invalid_) : std::u16string(kOpenFailedText);
}

std::string VerificationResult::Reason() const {
  if (partly_) return "a page of the document cannot be read";
  if (!opened_) return "the document does not open";
  return std::to_string(invalid_) + " of " + std::to_string(valid_ + invalid_) + " seals invalid";
}

}  // namespace sealrun::verify
