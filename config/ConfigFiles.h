#pragma once
// The three settings files the system shares with its sibling products. They are plain XML although
// their names end in ".dll".
#include <string_view>

namespace sealrun::config {

inline constexpr std::u16string_view kPublicConfigFile = u"BrasmoorPublic.dll";
inline constexpr std::u16string_view kProductConfigFile = u"BatchPDFConfig.dll";
inline constexpr std::u16string_view kOrtavexConfigFile = u"OrtavexConfig.dll";

// Folders beside the module, with their leading and trailing separators.
inline constexpr std::u16string_view kProductConfigFolder = u"\\Velmarch.SealrunPDF\\";
inline constexpr std::u16string_view kOrtavexConfigFolder = u"\\Velmarch.Ortavex\\";
// Folder under the application-data folder that holds a user's own copies.
inline constexpr std::u16string_view kUserConfigFolder = u"\\Signavox_ConfigFile\\";

}  // namespace sealrun::config
