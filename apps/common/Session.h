#pragma once
// One run of the host reader with the add-in loaded, as the front end's commands use it: the add-in is
// registered for the current user when the registry in use does not know it, the host is started with a
// settings file that lists the add-in, and everything is stopped again when the session ends.
#include <filesystem>
#include <optional>
#include <string>

#include "platform/host/HostDriver.h"

namespace sealrun::apps {

// A refusal the user is told about (exit code 2).
struct Refusal {
  std::string message;
};

class Session {
 public:
  Session() = default;
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Registers the add-in when needed and starts the host. A refusal explains what failed.
  std::optional<Refusal> Start();
  platform::host::HostDriver& Driver() { return driver_; }

 private:
  platform::host::HostDriver driver_;
  std::filesystem::path settingsFile_;
};

// The add-in module's path: SEALRUN_ADDIN_MODULE, else beside this program, else where it was built.
std::filesystem::path AddinModulePath();
// Registers a server module for the current user when `progId` does not resolve in the registry in use;
// `what` names it in the refusal.
std::optional<Refusal> EnsureRegistered(const char16_t* progId, const std::filesystem::path& module,
                                        const std::string& what);
// The same for the add-in module.
std::optional<Refusal> EnsureAddinRegistered();

}  // namespace sealrun::apps
