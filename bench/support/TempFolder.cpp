#include "bench/support/TempFolder.h"

#include <stdlib.h>

#include <string>
#include <system_error>

namespace sealrun::bench {

TempFolder::TempFolder(std::string_view prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

}  // namespace sealrun::bench
