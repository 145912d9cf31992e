#include "config/PublicSettings.h"

#include <new>

#include "config/ConfigPaths.h"
#include "config/SettingsWalk.h"
#include "platform/fs/Paths.h"
#include "platform/text/Utf.h"

namespace sealrun::config {
namespace {

bool IsTrue(std::u16string_view value) { return platform::text::EqualsIgnoreAsciiCase(value, u"true"); }

}  // namespace

PublicSettings ReadPublicSettings(std::u16string_view fileName) {
  PublicSettings settings;
  try {
    auto document = platform::xmldom::XmlDomDocument::Create();
    if (!document || !document->Load(platform::fs::PathFromUtf16(ResolvePublicConfigPath(fileName)))) return settings;
    ForEachKey(*document, [&settings](platform::xmldom::XmlDomNode& key, const std::u16string& name) {
      if (name == u"WebUrl")
        settings.webUrl = key.TypedValueText();
      else if (name == u"CSPName")
        settings.cspName = key.TypedValueText();
      else if (name == u"DigitalSignOnline")
        settings.digitalSignOnline = IsTrue(key.TypedValueText());
      else if (name == u"ValidateCertificate")
        settings.validateCertificate = IsTrue(key.TypedValueText());
      return true;
    });
  } catch (const std::bad_alloc&) {
    // Settings are read while the add-in connects: nothing may escape to the host; defaults apply.
    return PublicSettings{};
  }
  return settings;
}

}  // namespace sealrun::config
