#include "config/ProductSettings.h"

#include <filesystem>
#include <new>
#include <optional>

#include "config/ConfigPaths.h"
#include "config/PersonalFileTemplate.h"
#include "config/SettingsWalk.h"
#include "platform/fs/Paths.h"
#include "platform/xmldom/XmlDom.h"

namespace sealrun::config {
namespace {

constexpr std::array<std::u16string_view, static_cast<std::size_t>(ProductKey::Count)> kKeyNames{
    u"SigFilePath",  u"SignatureMode", u"PenPressure",    u"PenWidthList",    u"HandPenWidth", u"HandPenTrans",
    u"HandPenColor", u"UsuallyList",   u"HandFontName",   u"HandFontSize",    u"CharSet",      u"ZoomHand",
    u"HandWriteWidth", u"HandWriteHeight", u"WFFontName", u"WFFontSize",      u"WFCharSet",    u"WFColor",
    u"WFfsBold",     u"WFfsItalic",    u"WFfsUnderline",  u"WFfsStrikeOut"};

using platform::xmldom::XmlDomDocument;
using platform::xmldom::XmlDomNode;

// Loads the personal file, creating it from the template when it does not load. Null when neither works.
std::unique_ptr<XmlDomDocument> LoadPersonalFile(const std::filesystem::path& path) {
  auto document = XmlDomDocument::Create();
  if (!document) return nullptr;
  if (document->Load(path)) return document;
  if (!WritePersonalFileTemplate(path) || !document->Load(path)) return nullptr;
  return document;
}

}  // namespace

std::u16string_view ProductKeyName(ProductKey key) { return kKeyNames[static_cast<std::size_t>(key)]; }

std::optional<ProductKey> ProductKeyFromName(std::u16string_view name) {
  for (std::size_t i = 0; i < kKeyNames.size(); ++i)
    if (kKeyNames[i] == name) return static_cast<ProductKey>(i);
  return std::nullopt;
}

std::u16string ProductSettings::ValueOr(ProductKey key, std::u16string_view fallback) const {
  const auto& value = Get(key);
  return value ? *value : std::u16string(fallback);
}

ProductSettings ReadProductSettings(std::u16string_view fileName, std::u16string_view folder) {
  ProductSettings settings;
  try {
    const auto document = LoadPersonalFile(platform::fs::PathFromUtf16(ResolvePersonalConfigPath(fileName, folder)));
    if (!document) return settings;
    ForEachKey(*document, [&settings](XmlDomNode& key, const std::u16string& name) {
      if (const auto known = ProductKeyFromName(name)) settings.Set(*known, key.TypedValueText());
      return true;
    });
  } catch (const std::bad_alloc&) {
    // Settings are read while the add-in connects: nothing may escape to the host; defaults apply.
    return ProductSettings{};
  }
  return settings;
}

bool WriteProductKey(std::u16string_view fileName, std::u16string_view key, std::u16string_view value) {
  try {
    auto path = platform::fs::PathFromUtf16(ResolvePersonalConfigPath(fileName, u""));
    // No settings folder beside the module (a program run from where it was built, an installation that made
    // none): the user's own copy keeps the choice, and the readers look there first.
    std::error_code error;
    if (!std::filesystem::is_directory(path.parent_path(), error)) {
      path = platform::fs::PathFromUtf16(UserConfigPath(fileName));
      std::filesystem::create_directories(path.parent_path(), error);
    }
    const auto document = LoadPersonalFile(path);
    if (!document) return false;
    // The readers take a key's last occurrence, so that is the one written.
    std::optional<XmlDomNode> last;
    ForEachKey(*document, [&](XmlDomNode& element, const std::u16string& name) {
      if (name == key) last = element;
      return true;
    });
    bool found = last && last->SetText(value);
    if (!found) {
      // A file made from the template has no such key yet; add it so the user's choice is not lost.
      for (auto section : document->DocumentElement().ChildNodes()) {
        if (!section.IsElement()) continue;
        found = section.AppendElement(key).SetText(value);
        break;
      }
    }
    return document->Save(path) && found;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace sealrun::config
