#pragma once
// A folder of its own under the temporary folder, removed with everything in it when the holder goes.
#include <filesystem>
#include <string_view>

namespace sealrun::bench {

class TempFolder {
 public:
  // Empty Path() when the folder cannot be made.
  explicit TempFolder(std::string_view prefix);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace sealrun::bench
