#pragma once
// The server modules the front end installs for the user: the add-in and the seal key's components. Each
// is found beside this program (an installed copy) or where it was built.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "apps/common/Session.h"

namespace sealrun::apps {

inline constexpr char16_t kKeyObjectProgId[] = u"Sealrun.KeyObject";
inline constexpr char16_t kCertLibraryProgId[] = u"Sealrun.CertLibrary";
inline constexpr char16_t kHandwritingProgId[] = u"Sealrun.Handwriting";

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

// Registers the known module serving `progId` for the user when the registry in use does not know it (as
// the seal key's own installation would); a refusal when it cannot, or when this build has no such module.
std::optional<Refusal> EnsureComponentRegistered(std::u16string_view progId);

}  // namespace sealrun::apps
