#include "platform/fs/KnownFolders.h"

#include <dlfcn.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace sealrun::platform::fs {
namespace {

const char* NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return (value && *value) ? value : nullptr;
}

std::filesystem::path HomeDir() {
  if (const char* home = NonEmptyEnv("HOME")) return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

}  // namespace

std::filesystem::path AppDataDir() {
  if (const char* dir = NonEmptyEnv("XDG_CONFIG_HOME")) return dir;
  return HomeDir() / ".config";
}

std::filesystem::path SystemDir() {
  if (const char* dir = NonEmptyEnv("SEALRUN_SYSTEM_DIR")) return dir;
  return "/etc/sealrun";
}

std::filesystem::path RegistryDir() {
  if (const char* dir = NonEmptyEnv("SEALRUN_REGISTRY")) return dir;
  return AppDataDir() / "sealrun" / "registry";
}

std::filesystem::path SealKeyDir() {
  if (const char* dir = NonEmptyEnv("SEALRUN_KEY")) return dir;
  return AppDataDir() / "sealrun" / "key";
}

std::filesystem::path TempDir() {
  if (const char* dir = NonEmptyEnv("TMPDIR")) return dir;
  return "/tmp";
}

std::filesystem::path ModulePath(const void* addressInModule) {
  Dl_info info{};
  if (dladdr(addressInModule, &info) == 0 || info.dli_fname == nullptr || *info.dli_fname == '\0') return {};
  std::error_code error;
  auto path = std::filesystem::canonical(info.dli_fname, error);
  return error ? std::filesystem::path(info.dli_fname) : path;
}

std::filesystem::path ModuleDir(const void* addressInModule) {
  if (const char* dir = NonEmptyEnv("SEALRUN_MODULE_DIR")) return dir;
  return ModulePath(addressInModule).parent_path();
}

}  // namespace sealrun::platform::fs
