#pragma once
// Where a settings file is looked for. Paths are returned with the platform's separators.
#include <string>
#include <string_view>

namespace sealrun::config {

// The user's copy (application-data folder + "\Signavox_ConfigFile\" + name) when it exists, else the
// file in the system directory, whether or not that exists.
std::u16string ResolvePublicConfigPath(std::u16string_view fileName);

// The user's own copy of a settings file (application-data folder + "\Signavox_ConfigFile\" + name), whether
// or not it exists.
std::u16string UserConfigPath(std::u16string_view fileName);
// The user's copy when it exists, else the module's folder + `folder` + name; an empty `folder` means
// "\Velmarch.SealrunPDF\".
std::u16string ResolvePersonalConfigPath(std::u16string_view fileName, std::u16string_view folder);

}  // namespace sealrun::config
