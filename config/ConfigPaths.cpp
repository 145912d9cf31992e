#include "config/ConfigPaths.h"

#include "config/ConfigFiles.h"
#include "platform/fs/Files.h"
#include "platform/fs/KnownFolders.h"
#include "platform/fs/Paths.h"

namespace sealrun::config {
namespace {

// Any object of this library lies in the module that the library is linked into.
const char kModuleAnchor = 0;

std::u16string Native(std::u16string_view path) { return platform::fs::PathToUtf16(platform::fs::PathFromUtf16(path)); }

std::u16string UserCopy(std::u16string_view fileName) {
  std::u16string path = platform::fs::PathToUtf16(platform::fs::AppDataDir());
  path += kUserConfigFolder;
  path += fileName;
  return Native(path);
}

bool Exists(const std::u16string& path) { return platform::fs::FileExists(platform::fs::PathFromUtf16(path)); }

}  // namespace

std::u16string UserConfigPath(std::u16string_view fileName) { return UserCopy(fileName); }

std::u16string ResolvePublicConfigPath(std::u16string_view fileName) {
  std::u16string candidate = UserCopy(fileName);
  if (Exists(candidate)) return candidate;
  std::u16string path = platform::fs::PathToUtf16(platform::fs::SystemDir());
  path += u"\\";
  path += fileName;
  return Native(path);
}

std::u16string ResolvePersonalConfigPath(std::u16string_view fileName, std::u16string_view folder) {
  std::u16string candidate = UserCopy(fileName);
  if (Exists(candidate)) return candidate;
  std::u16string path = platform::fs::PathToUtf16(platform::fs::ModuleDir(&kModuleAnchor));
  path += folder.empty() ? kProductConfigFolder : folder;
  path += fileName;
  return Native(path);
}

}  // namespace sealrun::config
