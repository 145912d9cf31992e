#include "seal/SignerCertificate.h"

#include "platform/text/Utf.h"
#include "seal/AutomationObject.h"
#include "seal/AutomationValues.h"
#include "seal/ComponentIds.h"

namespace sealrun::seal {

using namespace platform::com;

std::optional<platform::crypto::Certificate> GetSignerCertificate(std::u16string_view provider,
                                                                  std::u16string_view configuredProvider) {
  const AutomationObject library = AutomationObject::Create(kCertLibraryClsid);
  if (!library.IsValid()) return std::nullopt;
  if (!provider.empty()) library.Put(u"CSPName", Variant(provider));
  Variant opened(int32_t{0});
  library.Call(u"GetContainer", {}, opened);
  if (LowWord(NumberOf(opened).value_or(0)) == 0) {
    library.Put(u"CSPName", Variant(configuredProvider));
    library.Call(u"GetContainer");
  }
  Variant context;
  library.Get(u"CertContext", context);
  const std::u16string text = TextOf(context);
  if (text.find(u"BEGIN") == std::u16string::npos) return std::nullopt;
  auto certificate = platform::crypto::Certificate::FromPem(platform::text::Utf16ToUtf8(text));
  if (!certificate) return std::nullopt;
  return std::move(*certificate);
}

std::u16string SignerDisplayName(const platform::crypto::Certificate& certificate) {
  std::u16string name = certificate.SubjectName(platform::crypto::NameStyle::SimpleDisplay);
  if (name.empty()) return name;
  const std::u16string email = certificate.SubjectName(platform::crypto::NameStyle::Email);
  if (!email.empty()) name += u"<" + email + u">";
  return name;
}

}  // namespace sealrun::seal
