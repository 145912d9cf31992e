#pragma once
// The folders the system uses, each with a default and an environment override so that tests and
// users can point them elsewhere:
//   application-data folder   XDG_CONFIG_HOME        ~/.config
//   system directory          SEALRUN_SYSTEM_DIR     /etc/sealrun
//   registry                  SEALRUN_REGISTRY       $XDG_CONFIG_HOME/sealrun/registry
//   inserted seal key         SEALRUN_KEY            $XDG_CONFIG_HOME/sealrun/key
//   temporary folder          TMPDIR                 /tmp
//   module folder             SEALRUN_MODULE_DIR     the folder of the loaded module (dladdr)
#include <filesystem>

namespace sealrun::platform::fs {

std::filesystem::path AppDataDir();
std::filesystem::path SystemDir();
std::filesystem::path RegistryDir();
std::filesystem::path SealKeyDir();
std::filesystem::path TempDir();

// The folder of the shared object or program that contains `addressInModule` (pass the address of
// a function or object of that module).
std::filesystem::path ModuleDir(const void* addressInModule);
// The full path of that module, or empty when it cannot be found.
std::filesystem::path ModulePath(const void* addressInModule);

}  // namespace sealrun::platform::fs
