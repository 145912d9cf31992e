#pragma once
// A user of the add-in whose whole world lies in a folder of the test's: settings folder, registry, the
// reader's settings, temporary folder, the add-in's module folder and the seal key's location (empty until a
// test puts a key there); the add-in module is the one this build made. The previous environment comes back
// when it goes.
#include <filesystem>
#include <optional>

#include "tests/testsupport/TempDir.h"

namespace sealrun::testing {

class PrivateUser {
 public:
  explicit PrivateUser(const std::filesystem::path& folder)
      : config_("XDG_CONFIG_HOME", (folder / "config").string()),
        registry_("SEALRUN_REGISTRY", (folder / "registry").string()),
        hostSettings_("SEALRUN_HOST_SETTINGS", (folder / "host.conf").string()),
        tmp_("TMPDIR", folder.string()),
        module_("SEALRUN_ADDIN_MODULE", std::nullopt),
        moduleDir_("SEALRUN_MODULE_DIR", (folder / "module").string()),
        key_("SEALRUN_KEY", (folder / "key").string()) {}

 private:
  ScopedEnv config_;
  ScopedEnv registry_;
  ScopedEnv hostSettings_;
  ScopedEnv tmp_;
  ScopedEnv module_;
  ScopedEnv moduleDir_;
  ScopedEnv key_;
};

}  // namespace sealrun::testing
