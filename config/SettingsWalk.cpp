#include "config/SettingsWalk.h"

namespace sealrun::config {

void ForEachKey(const platform::xmldom::XmlDomDocument& document,
                const std::function<bool(platform::xmldom::XmlDomNode& key, const std::u16string& name)>& visit) {
  const auto root = document.DocumentElement();
  if (!root) return;
  for (const auto& section : root.ChildNodes()) {
    if (!section.IsElement()) continue;
    for (auto key : section.ChildNodes()) {
      if (!key.IsElement()) continue;
      if (!visit(key, key.NodeName())) return;
    }
  }
}

}  // namespace sealrun::config
