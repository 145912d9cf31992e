#include "apps/common/Components.h"

#include <dlfcn.h>

#include <cstdio>
#include <memory>

#include "addin/AddinIds.h"
#include "platform/com/ServerModule.h"
#include "platform/fs/Paths.h"
#include "platform/text/Utf.h"

namespace sealrun::apps {

namespace fs = std::filesystem;
namespace com = platform::com;

namespace {

struct LibraryCloser {
  void operator()(void* library) const {
    if (library != nullptr) dlclose(library);
  }
};

fs::path BesideProgramOr(const fs::path& fileName, const char* built) {
  std::error_code error;
  const auto self = fs::read_symlink("/proc/self/exe", error);
  if (!error && fs::exists(self.parent_path() / fileName, error)) return self.parent_path() / fileName;
  return built;
}

}  // namespace

std::vector<ComponentModule> KnownComponentModules() {
  std::vector<ComponentModule> modules;
  modules.push_back({"add-in", addin::kSealrunPdfIndependentProgId,
                     BesideProgramOr(platform::fs::PathFromUtf16(addin::kModuleFileName), SEALRUN_BUILT_ADDIN_MODULE)});
#if defined(SEALRUN_BUILT_SEALKEY_MODULE)
  modules.push_back({"seal key component", kKeyObjectProgId,
                     BesideProgramOr("sealrun_sealkey.so", SEALRUN_BUILT_SEALKEY_MODULE)});
#endif
#if defined(SEALRUN_BUILT_CERTLIB_MODULE)
  modules.push_back({"certificate library component", kCertLibraryProgId,
                     BesideProgramOr("sealrun_certlib.so", SEALRUN_BUILT_CERTLIB_MODULE)});
#endif
#if defined(SEALRUN_BUILT_HANDWRITING_MODULE)
  modules.push_back({"handwriting component", kHandwritingProgId,
                     BesideProgramOr("sealrun_handwriting.so", SEALRUN_BUILT_HANDWRITING_MODULE)});
#endif
  return modules;
}

std::optional<std::string> InstallForUser(const ComponentModule& module, bool install) {
  const std::unique_ptr<void, LibraryCloser> library(dlopen(module.path.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!library) {
    const char* reason = dlerror();
    return "the " + module.what + " module " + module.path.string() + " cannot be loaded: " +
           (reason != nullptr ? reason : "unknown reason");
  }
  const auto entry = reinterpret_cast<com::DllInstallFunction>(dlsym(library.get(), "DllInstall"));
  if (entry == nullptr) return "the " + module.what + " module " + module.path.string() + " has no DllInstall";
  const com::HRESULT hr = entry(install ? 1 : 0, u"user");
  if (com::FAILED(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    return "the " + module.what + " could not be " + (install ? "registered" : "unregistered") + " (" + code + ")";
  }
  return std::nullopt;
}

std::optional<Refusal> EnsureComponentRegistered(std::u16string_view progId) {
  for (const ComponentModule& module : KnownComponentModules())
    if (progId == module.progId) return EnsureRegistered(module.progId, module.path, module.what);
  return Refusal{"this build has no module for " + platform::text::Utf16ToUtf8(progId)};
}

}  // namespace sealrun::apps
