#pragma once
// The settings files hold sections under the root and keys under the sections; a key is found in
// whatever section it stands, and a later occurrence overrides an earlier one.
#include <functional>
#include <string>
#include <string_view>

#include "platform/xmldom/XmlDom.h"

namespace sealrun::config {

// Calls `visit` with each key element (grandchild of the root) in document order; stops when it returns false.
void ForEachKey(const platform::xmldom::XmlDomDocument& document,
                const std::function<bool(platform::xmldom::XmlDomNode& key, const std::u16string& name)>& visit);

}  // namespace sealrun::config
