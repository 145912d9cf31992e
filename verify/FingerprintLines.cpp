#include "verify/FingerprintLines.h"

#include <cstdint>

#include "external/QpHandles.h"
#include "platform/text/CodePage.h"
#include "support/Md5.h"
#include "support/Sha1.h"
#include "verify/PdfNames.h"

namespace sealrun::verify {

std::optional<std::u16string> PageIdentifierOf(qp_document document, qp_cos pageDict) {
  using external::CosHandle;
  if (const CosHandle id(qp_cos_dict_gets(pageDict, kPageIdentifierKey)); id != nullptr) {
    // An identifier that is not a string is left as it is and reads as empty.
    const char* bytes = qp_cos_to_string(id.get());
    if (bytes == nullptr) return std::u16string();
    const auto length = static_cast<std::size_t>(qp_cos_to_string_len(id.get()));
    return platform::text::ToUtf16(std::string_view(bytes, length), platform::text::kCpAcp);
  }
  const std::string identifier = support::Md5Text(std::to_string(qp_cos_obj_num(pageDict)));
  {
    const CosHandle text(qp_cos_new_string(document, identifier.data(), static_cast<int>(identifier.size()), 0));
    if (text == nullptr || qp_cos_dict_puts(pageDict, kPageIdentifierKey, text.get()) != QP_OK) return std::nullopt;
  }
  qp_cos_set_modify(document, pageDict, 1);
  return std::u16string(identifier.begin(), identifier.end());
}

void FingerprintLines::Add(std::u16string identifier, std::string_view digestText) {
  std::size_t seen = 0;
  for (const std::u16string& earlier : used_) {
    if (earlier.size() >= identifier.size() && earlier.find(identifier) != std::u16string::npos) ++seen;
  }
  if (seen > 0) {
    const std::string counter = std::to_string(seen);
    identifier.append(counter.begin(), counter.end());
  }
  text_ += identifier;
  text_ += u'$';
  text_.append(digestText.begin(), digestText.end());
  text_ += u"\r\n";
  used_.push_back(std::move(identifier));
}

std::u16string FingerprintLines::Fingerprint() const {
  // The whole converted text: an identifier in a double-byte code page converts to more bytes than it has
  // characters, and cutting at the character count would leave the last pages out.
  const std::string bytes = platform::text::FromUtf16(text_, platform::text::kCpAcp);
  support::Sha1 whole;
  whole.Update(std::string_view(bytes));
  std::uint8_t fingerprint[29] = {};
  whole.Final(fingerprint, support::Sha1Output::Text);
  return std::u16string(fingerprint, fingerprint + 28);
}

}  // namespace sealrun::verify
