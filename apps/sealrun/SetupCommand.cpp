// sealrun setup: installs the add-in for the current user (registration, the host's add-in list, default
// settings files) or, with --remove, takes it out again. Running it twice changes nothing the second time.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "addin/AddinIds.h"
#include "apps/sealrun/Commands.h"
#include "apps/common/Components.h"
#include "apps/sealrun/TerminalText.h"
#include "config/ConfigFiles.h"
#include "config/ConfigPaths.h"
#include "config/PersonalFileTemplate.h"
#include "platform/fs/Files.h"
#include "platform/fs/KnownFolders.h"
#include "platform/fs/Paths.h"
#include "platform/host/HostSettings.h"

namespace sealrun::apps {

namespace fs = std::filesystem;

namespace {

// Seal annotations by default; the handwriting section holds the keys the capture writes back.
constexpr std::string_view kDefaultOrtavexSettings =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
    "<Brasmoor>\r\n"
    "\t<SIGNATURE>\r\n"
    "\t<SignatureMode>0</SignatureMode>\r\n"
    "</SIGNATURE>\r\n"
    "\t<HANDWRITE>\r\n"
    "\t<PenPressure></PenPressure>\r\n"
    "\t<PenWidthList></PenWidthList>\r\n"
    "\t<HandPenWidth></HandPenWidth>\r\n"
    "\t<HandPenTrans></HandPenTrans>\r\n"
    "\t<HandPenColor></HandPenColor>\r\n"
    "\t<UsuallyList></UsuallyList>\r\n"
    "\t<HandFontName></HandFontName>\r\n"
    "\t<HandFontSize></HandFontSize>\r\n"
    "\t<CharSet></CharSet>\r\n"
    "\t<ZoomHand></ZoomHand>\r\n"
    "\t<HandWriteWidth></HandWriteWidth>\r\n"
    "\t<HandWriteHeight></HandWriteHeight>\r\n"
    "</HANDWRITE>\r\n"
    "</Brasmoor>\r\n";

// The add-in's own file: the template the add-in writes, with the key that remembers the chosen seal picture.
std::string DefaultProductSettings() {
  std::string text(config::kPersonalFileTemplate);
  const std::string section = "</QuoralPDFXML>";
  if (const auto at = text.find(section); at != std::string::npos) text.insert(at, "\t<SigFilePath></SigFilePath>\r\n");
  return text;
}

fs::path HostSettingsPath() {
  const char* named = std::getenv("SEALRUN_HOST_SETTINGS");
  return named != nullptr && *named != '\0' ? fs::path(named) : platform::host::DefaultHostSettingsPath();
}

// Where a user's own copies of the settings files live (the readers look there first).
fs::path UserSettingsFolder() { return platform::fs::AppDataDir() / "Signavox_ConfigFile"; }

bool ListsAddin(const platform::host::HostSettings& settings) {
  for (const auto& progId : settings.addIns)
    if (progId == addin::kSealrunPdfIndependentProgId || progId == addin::kSealrunPdfProgId) return true;
  return false;
}

int Install() {
  for (const auto& module : KnownComponentModules()) {
    if (auto problem = InstallForUser(module, true)) return Refuse(*problem);
    std::printf("registered the %s: %s\n", module.what.c_str(), TerminalSafe(module.path.string()).c_str());
  }
  const fs::path hostFile = HostSettingsPath();
  auto settings = platform::host::ReadHostSettings(hostFile);
  if (!ListsAddin(settings)) {
    settings.addIns.push_back(addin::kSealrunPdfIndependentProgId);
    std::error_code error;
    fs::create_directories(hostFile.parent_path(), error);
    if (!platform::host::WriteHostSettings(hostFile, settings))
      return Refuse("cannot write the host's settings to " + hostFile.string());
  }
  std::printf("the host loads the add-in: %s\n", TerminalSafe(hostFile.string()).c_str());

  const fs::path folder = UserSettingsFolder();
  std::error_code error;
  fs::create_directories(folder, error);
  // The public file belongs to the product family and its administrator: never written here. A user's copy
  // would be read before the system's and silently switch off what the administrator switched on (the
  // signing server, certificate validation).
  std::printf("the public settings file is the administrator's and is not written; in force: %s\n",
              TerminalSafe(config::ResolvePublicConfigPath(config::kPublicConfigFile)).c_str());
  const std::vector<std::pair<std::u16string_view, std::string>> defaults = {
      {config::kProductConfigFile, DefaultProductSettings()},
      {config::kOrtavexConfigFile, std::string(kDefaultOrtavexSettings)},
  };
  for (const auto& [name, content] : defaults) {
    const fs::path file = folder / platform::fs::PathFromUtf16(name);
    if (fs::exists(file, error)) {
      std::printf("kept the settings file %s\n", TerminalSafe(file.string()).c_str());
      continue;
    }
    if (!platform::fs::ReplaceFileAtomically(file, content)) return Refuse("cannot write " + file.string());
    std::printf("wrote the settings file %s\n", TerminalSafe(file.string()).c_str());
  }
  return kExitDone;
}

int Remove() {
  const auto modules = KnownComponentModules();
  for (auto module = modules.rbegin(); module != modules.rend(); ++module) {
    if (auto problem = InstallForUser(*module, false)) return Refuse(*problem);
    std::printf("unregistered the %s\n", module->what.c_str());
  }
  const fs::path hostFile = HostSettingsPath();
  auto settings = platform::host::ReadHostSettings(hostFile);
  if (ListsAddin(settings)) {
    std::erase_if(settings.addIns, [](const std::u16string& progId) {
      return progId == addin::kSealrunPdfIndependentProgId || progId == addin::kSealrunPdfProgId;
    });
    if (!platform::host::WriteHostSettings(hostFile, settings))
      return Refuse("cannot write the host's settings to " + hostFile.string());
  }
  std::printf("the host no longer loads the add-in: %s\n", TerminalSafe(hostFile.string()).c_str());
  std::printf("the settings files in %s are kept\n", TerminalSafe(UserSettingsFolder().string()).c_str());
  return kExitDone;
}

}  // namespace

const char* SetupHelp() {
  return "usage: sealrun setup [--remove]\n"
    "\n"
    "Installs the add-in for the current user: registers the add-in and the seal key's components (in the\n"
    "registry at SEALRUN_REGISTRY), adds the add-in to the reader's list of add-ins (SEALRUN_HOST_SETTINGS, or\n"
    "QuoralPDF/host.conf in the application-data folder) and writes the add-in's settings files\n"
    "BatchPDFConfig.dll and OrtavexConfig.dll into Signavox_ConfigFile/ there when they do not exist.\n"
    "The public settings file BrasmoorPublic.dll (signing server, certificate validation) belongs to the\n"
    "product family and its administrator (SEALRUN_SYSTEM_DIR): setup never writes it.\n"
    "--remove undoes the registration and the add-in list entry; settings files are kept.\n"
    "Running it again changes nothing.\n"
    "\n"
    "examples:\n"
    "  sealrun setup\n"
    "  sealrun setup --remove\n";
}

int RunSetup(const std::vector<std::string>& arguments) {
  bool remove = false;
  for (const auto& argument : arguments) {
    if (argument == "--remove") {
      remove = true;
    } else {
      return Refuse("setup does not know " + argument + " (sealrun setup --help)");
    }
  }
  return remove ? Remove() : Install();
}

}  // namespace sealrun::apps
