#pragma once
// The host reader's own settings: the add-ins to load (by ProgID, in order) and the user-interface
// language. A UTF-8 text file of "Key=Value" lines ("AddIn" may repeat; "#" starts a comment), by default
// QuoralPDF/host.conf in the application-data folder; SEALRUN_HOST_SETTINGS names another file.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/Types.h"

namespace sealrun::platform::host {

struct HostSettings {
  std::vector<std::u16string> addIns;
  com::LONG languageId = 2052;
};

std::filesystem::path DefaultHostSettingsPath();
// A missing file gives the defaults (no add-in); unknown keys and malformed lines are skipped.
HostSettings ReadHostSettings(const std::filesystem::path& path);
bool WriteHostSettings(const std::filesystem::path& path, const HostSettings& settings);

}  // namespace sealrun::platform::host
