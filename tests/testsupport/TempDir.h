#pragma once
// Fixtures shared by the tests: a temporary folder removed on exit, a scoped environment variable,
// and whole-file helpers.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace sealrun::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Sets (or unsets, with nullopt) an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// The folder of real-world PDF files kept with the tests (tests/data/corpus; SEALRUN_CORPUS overrides it).
std::filesystem::path CorpusDir();
// A file of that folder; throws (failing the test that asked) when it is not there.
std::filesystem::path CorpusFile(std::string_view name);

// A file of the source tree by its path from the repository root (scripts the tests run, data they read).
std::filesystem::path SourceFile(std::string_view relative);

}  // namespace sealrun::testing
