#include "apps/tramex-server/DemoKeyLocation.h"

namespace sealrun::tramex {
namespace {

namespace fs = std::filesystem;
constexpr char kSigningFile[] = "signer.p12";

bool HasSigningFile(const fs::path& folder) {
  std::error_code error;
  return fs::is_regular_file(folder / kSigningFile, error);
}

}  // namespace

fs::path DemoSigningKeyFile() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (!error) {
    // libdir may have more than one level (lib/x86_64-linux-gnu), so every ancestor is a candidate prefix.
    for (fs::path prefix = self.parent_path(); !prefix.empty(); prefix = prefix.parent_path()) {
      const fs::path installed = prefix / "share/sealrun/demo-key";
      if (HasSigningFile(installed)) return installed / kSigningFile;
      if (prefix == prefix.root_path()) break;
    }
  }
  return fs::path(SEALRUN_DEMO_KEY_DIR) / kSigningFile;
}

}  // namespace sealrun::tramex
