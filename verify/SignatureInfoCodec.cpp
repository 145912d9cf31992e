#include "verify/SignatureInfoCodec.h"

#include <cstdint>

#include "platform/text/CodePage.h"
#include "support/Base64.h"

namespace sealrun::verify {

std::u16string DecodeSignatureInfo(std::string_view encoded, RecordForm form) {
  if (form == RecordForm::SealOnly) {
    const std::vector<std::uint8_t> bytes = support::SealInfoDecode(encoded);
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
  }
  const std::vector<std::uint8_t> bytes = support::DecodeWithAlphabet(encoded, support::StandardAlphabet);
  return platform::text::ToUtf16(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                 platform::text::kCpAcp);
}

SignatureInfoFields ParseSignatureInfo(std::u16string_view text) {
  SignatureInfoFields fields;
  constexpr std::u16string_view kKeySn = u"SignatureKeySN:";
  while (!text.empty()) {
    const std::size_t end = text.find(u"\r\n");
    const std::u16string_view line = text.substr(0, end);
    text = end == std::u16string_view::npos ? std::u16string_view() : text.substr(end + 2);
    if (line.starts_with(kKeySn)) {
      std::u16string_view value = line.substr(kKeySn.size());
      if (value.ends_with(u';')) value.remove_suffix(1);
      fields.emplace_back(u"SignatureKeySN", value);
      continue;
    }
    const std::size_t equals = line.find(u'=');
    if (equals == std::u16string_view::npos) continue;
    fields.emplace_back(line.substr(0, equals), line.substr(equals + 1));
  }
  return fields;
}

std::optional<std::u16string> FindSignatureInfoValue(const SignatureInfoFields& fields, std::u16string_view key) {
  for (const auto& [name, value] : fields) {
    if (name == key) return value;
  }
  return std::nullopt;
}

}  // namespace sealrun::verify
