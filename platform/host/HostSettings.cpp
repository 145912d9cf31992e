#include "platform/host/HostSettings.h"

#include <cstdlib>
#include <string_view>

#include "platform/fs/Files.h"
#include "platform/fs/KnownFolders.h"
#include "platform/text/Utf.h"

namespace sealrun::platform::host {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::filesystem::path DefaultHostSettingsPath() {
  if (const char* overridden = std::getenv("SEALRUN_HOST_SETTINGS"); overridden != nullptr && *overridden != 0)
    return overridden;
  return fs::AppDataDir() / "QuoralPDF" / "host.conf";
}

HostSettings ReadHostSettings(const std::filesystem::path& path) {
  HostSettings settings;
  const std::optional<std::string> bytes = fs::ReadFile(path);
  if (!bytes) return settings;
  std::string_view rest(*bytes);
  if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = Trim(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (line.empty() || line.front() == '#') continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    if (text::EqualsIgnoreAsciiCase(key, "AddIn") && !value.empty() && text::IsValidUtf8(value)) {
      settings.addIns.push_back(text::Utf8ToUtf16(value));
    } else if (text::EqualsIgnoreAsciiCase(key, "LanguageId")) {
      char* parsedEnd = nullptr;
      const std::string number(value);
      const long parsed = std::strtol(number.c_str(), &parsedEnd, 10);
      if (!number.empty() && *parsedEnd == 0 && parsed > 0 && parsed <= 0xFFFF)
        settings.languageId = static_cast<com::LONG>(parsed);
    }
  }
  return settings;
}

bool WriteHostSettings(const std::filesystem::path& path, const HostSettings& settings) {
  std::string text = "LanguageId=" + std::to_string(settings.languageId) + "\n";
  for (const auto& progId : settings.addIns) text += "AddIn=" + text::Utf16ToUtf8(progId) + "\n";
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  return fs::ReplaceFileAtomically(path, text);
}

}  // namespace sealrun::platform::host
