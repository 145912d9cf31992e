#include "apps/common/Session.h"

#include <dlfcn.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "addin/AddinIds.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/ServerModule.h"
#include "platform/fs/KnownFolders.h"
#include "platform/fs/Paths.h"
#include "platform/host/HostSettings.h"

namespace sealrun::apps {

namespace com = platform::com;

namespace {

std::string HexResult(com::HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

struct LibraryCloser {
  void operator()(void* library) const {
    if (library != nullptr) dlclose(library);
  }
};

constexpr std::string_view kHostSettingsPrefix = "sealrun-host-";

// The private host settings of runs that were killed before they could remove them ("sealrun-host-PID.conf"
// whose process is gone, and that belong to this user).
void RemoveLeftHostSettings(const std::filesystem::path& folder) {
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.rfind(kHostSettingsPrefix, 0) != 0 || name.size() < kHostSettingsPrefix.size() + 6 ||
        name.substr(name.size() - 5) != ".conf")
      continue;
    const std::string digits = name.substr(kHostSettingsPrefix.size(), name.size() - 5 - kHostSettingsPrefix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t writer = static_cast<pid_t>(std::stol(digits));
    // Signal 0 asks only whether the process exists; another user's live process answers EPERM.
    if (writer <= 0 || ::kill(writer, 0) == 0 || errno != ESRCH) continue;
    struct stat info {};
    if (::lstat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) continue;
    std::filesystem::remove(it->path(), error);
    error.clear();
  }
}

}  // namespace

std::filesystem::path AddinModulePath() {
  if (const char* path = std::getenv("SEALRUN_ADDIN_MODULE"); path != nullptr && *path != '\0') return path;
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const auto beside = self.parent_path() / platform::fs::PathFromUtf16(addin::kModuleFileName);
    if (std::filesystem::exists(beside, error)) return beside;
  }
  return SEALRUN_BUILT_ADDIN_MODULE;
}

std::optional<Refusal> EnsureRegistered(const char16_t* progId, const std::filesystem::path& module,
                                        const std::string& what) {
  com::CLSID clsid{};
  if (com::SUCCEEDED(com::CLSIDFromProgID(progId, &clsid))) return std::nullopt;
  const std::unique_ptr<void, LibraryCloser> library(dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!library) {
    const char* reason = dlerror();
    return Refusal{"the " + what + " module " + module.string() + " cannot be loaded: " + (reason ? reason : "unknown reason")};
  }
  const auto install = reinterpret_cast<com::DllInstallFunction>(dlsym(library.get(), "DllInstall"));
  if (install == nullptr) return Refusal{"the " + what + " module " + module.string() + " has no DllInstall"};
  const com::HRESULT hr = install(1, u"user");
  if (com::FAILED(hr))
    return Refusal{"the " + what + " could not be registered for the current user in the registry at " +
                   platform::fs::RegistryDir().string() + " (" + HexResult(hr) + ")"};
  return std::nullopt;
}

std::optional<Refusal> EnsureAddinRegistered() {
  return EnsureRegistered(addin::kSealrunPdfIndependentProgId, AddinModulePath(), "add-in");
}

Session::~Session() {
  driver_.Shutdown();
  std::error_code ignored;
  if (!settingsFile_.empty()) std::filesystem::remove(settingsFile_, ignored);
}

std::optional<Refusal> Session::Start() {
  if (auto refusal = EnsureAddinRegistered()) return refusal;
  // The user's host settings, with the add-in added when they do not list it; the user's file is not
  // changed, the host reads a private copy for this run.
  const char* named = std::getenv("SEALRUN_HOST_SETTINGS");
  const std::filesystem::path userSettings =
      named != nullptr && *named != '\0' ? std::filesystem::path(named) : platform::host::DefaultHostSettingsPath();
  platform::host::HostSettings settings = platform::host::ReadHostSettings(userSettings);
  bool listed = false;
  for (const auto& progId : settings.addIns)
    listed = listed || progId == addin::kSealrunPdfIndependentProgId || progId == addin::kSealrunPdfProgId;
  platform::host::HostOptions options;
  if (listed) {
    options.settingsPath = userSettings;
  } else {
    settings.addIns.push_back(addin::kSealrunPdfIndependentProgId);
    RemoveLeftHostSettings(platform::fs::TempDir());
    settingsFile_ = platform::fs::TempDir() / (std::string(kHostSettingsPrefix) + std::to_string(getpid()) + ".conf");
    if (!platform::host::WriteHostSettings(settingsFile_, settings))
      return Refusal{"cannot write the host's settings to " + settingsFile_.string()};
    options.settingsPath = settingsFile_;
  }
  if (const com::HRESULT hr = driver_.Start(options); com::FAILED(hr))
    return Refusal{"the host reader did not start (" + HexResult(hr) + ")"};
  for (const auto& loaded : driver_.Host().AddIns()) {
    if (loaded.progId != addin::kSealrunPdfIndependentProgId && loaded.progId != addin::kSealrunPdfProgId) continue;
    if (com::SUCCEEDED(loaded.result)) return std::nullopt;
    return Refusal{"the add-in did not load into the host (" + HexResult(loaded.result) +
                   "); check its registration in " + platform::fs::RegistryDir().string()};
  }
  return Refusal{"the host did not load the add-in"};
}

}  // namespace sealrun::apps
