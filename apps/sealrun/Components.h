#pragma once
// The server modules the front end installs for the user: the add-in and the seal key's components. Each
// is found beside this program (an installed copy) or where it was built.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sealrun::apps {

struct ComponentModule {
  std::string what;                // "add-in", "seal key component", ...
  const char16_t* progId;          // resolves once the module is registered
  std::filesystem::path path;
};

// Every module this build knows, the add-in first.
std::vector<ComponentModule> KnownComponentModules();

// Registers (install) or unregisters the module for the current user through its DllInstall("user").
// Empty on success; otherwise what went wrong.
std::optional<std::string> InstallForUser(const ComponentModule& module, bool install);

}  // namespace sealrun::apps
