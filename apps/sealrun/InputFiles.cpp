#include "apps/sealrun/InputFiles.h"

#include <glob.h>

#include <algorithm>
#include <set>
#include <system_error>

namespace sealrun::apps {
namespace fs = std::filesystem;

namespace {

bool IsPdfName(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".pdf";
}

bool LooksLikePattern(const std::string& text) { return text.find_first_of("*?[") != std::string::npos; }

struct GlobMatches {
  glob_t value{};
  GlobMatches() = default;
  GlobMatches(const GlobMatches&) = delete;
  GlobMatches& operator=(const GlobMatches&) = delete;
  ~GlobMatches() { globfree(&value); }
};

std::string FolderFiles(const fs::path& folder, std::vector<fs::path>& out) {
  std::error_code error;
  std::vector<fs::path> found;
  fs::directory_iterator entries(folder, error);
  if (error) return "the folder " + folder.string() + " cannot be read (" + error.message() + ")";
  for (const auto& entry : entries) {
    if (entry.is_regular_file(error) && IsPdfName(entry.path())) found.push_back(entry.path());
  }
  std::sort(found.begin(), found.end());
  if (found.empty()) return "the folder " + folder.string() + " holds no PDF file";
  out.insert(out.end(), found.begin(), found.end());
  return {};
}

std::string PatternFiles(const std::string& pattern, std::vector<fs::path>& out) {
  GlobMatches matches;
  const int result = glob(pattern.c_str(), 0, nullptr, &matches.value);
  std::vector<fs::path> found;
  std::error_code error;
  if (result == 0)
    for (size_t i = 0; i < matches.value.gl_pathc; ++i)
      if (fs::is_regular_file(matches.value.gl_pathv[i], error)) found.emplace_back(matches.value.gl_pathv[i]);
  if (found.empty()) return "no file matches " + pattern;
  out.insert(out.end(), found.begin(), found.end());  // glob sorts its matches
  return {};
}

}  // namespace

std::variant<std::vector<fs::path>, std::string> ExpandInputFiles(const std::vector<fs::path>& inputs) {
  std::vector<fs::path> expanded;
  std::error_code error;
  for (const auto& input : inputs) {
    std::string problem;
    if (fs::is_regular_file(input, error)) {
      expanded.push_back(input);
    } else if (fs::is_directory(input, error)) {
      problem = FolderFiles(input, expanded);
    } else if (LooksLikePattern(input.string())) {
      problem = PatternFiles(input.string(), expanded);
    } else if (fs::exists(input, error)) {
      problem = input.string() + " is not a file";
    } else {
      problem = "the file " + input.string() + " does not exist";
    }
    if (!problem.empty()) return problem;
  }
  // The same file named twice (a file and its folder) is worked on once.
  std::vector<fs::path> unique;
  std::set<fs::path> seen;
  for (const auto& file : expanded) {
    const fs::path key = fs::weakly_canonical(file, error);
    if (seen.insert(error ? file : key).second) unique.push_back(file);
  }
  if (unique.empty()) return std::string("no PDF file given");
  return unique;
}

}  // namespace sealrun::apps
