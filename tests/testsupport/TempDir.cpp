#include "tests/testsupport/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace sealrun::testing {

TempDir::TempDir() {
  std::random_device device;
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = base / ("sealrun-test-" + std::to_string(device()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) previous_ = old;
  if (value)
    setenv(name_.c_str(), value->c_str(), 1);
  else
    unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv() {
  if (previous_)
    setenv(name_.c_str(), previous_->c_str(), 1);
  else
    unsetenv(name_.c_str());
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path.string());
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path CorpusDir() {
  if (const char* dir = std::getenv("SEALRUN_CORPUS"); dir != nullptr && *dir != '\0') return dir;
  return SEALRUN_TEST_CORPUS;
}

std::filesystem::path SourceFile(std::string_view relative) {
  return std::filesystem::path(SEALRUN_TEST_SOURCE_DIR) / relative;
}

std::filesystem::path CorpusFile(std::string_view name) {
  const std::filesystem::path path = CorpusDir() / name;
  // A missing corpus file is a broken checkout, never a reason to pass a test without running it.
  if (!std::filesystem::is_regular_file(path)) throw std::runtime_error("corpus file missing: " + path.string());
  return path;
}

}  // namespace sealrun::testing
