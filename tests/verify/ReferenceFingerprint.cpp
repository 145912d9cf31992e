#include "tests/verify/ReferenceFingerprint.h"

#include <sstream>

#include "platform/text/Utf.h"
#include "tests/testsupport/TempDir.h"
#include "tests/testsupport/ToolRun.h"

namespace sealrun::verify::testing {

std::map<std::filesystem::path, ReferenceFingerprint> RunReference(const std::vector<std::filesystem::path>& files) {
  std::vector<std::string> arguments{sealrun::testing::SourceFile("tests/verify/fingerprint_reference.py").string()};
  for (const auto& file : files) arguments.push_back(file.string());
  // The system interpreter: pikepdf comes from the distribution (scripts/setup).
  const sealrun::testing::ToolRun run =
      sealrun::testing::RunProgram("/usr/bin/python3", arguments, sealrun::testing::ErrorStream::Apart);
  std::map<std::filesystem::path, ReferenceFingerprint> results;
  if (run.exitCode != 0) {
    for (const auto& file : files) results[file].error = "the reference did not run: " + run.errors;
    return results;
  }
  std::istringstream output(run.output);
  ReferenceFingerprint* current = nullptr;
  for (std::string line; std::getline(output, line);) {
    const auto space = line.find(' ');
    const std::string word = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    if (word == "file") {
      current = &results[rest];
    } else if (current == nullptr) {
      continue;
    } else if (word == "line") {
      current->lines.push_back(rest);
    } else if (word == "fingerprint") {
      current->fingerprint = rest;
    } else if (word == "error") {
      current->error = rest;
    }
  }
  return results;
}

std::string FirstDifference(const std::u16string& ourLines, const ReferenceFingerprint& reference) {
  if (!reference.error.empty()) return "the reference could not read the file: " + reference.error;
  std::vector<std::string> ours;
  const std::string text = platform::text::Utf16ToUtf8(ourLines);
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) break;
    ours.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  for (std::size_t page = 0; page < std::max(ours.size(), reference.lines.size()); ++page) {
    const std::string our = page < ours.size() ? ours[page] : "(no line)";
    const std::string theirs = page < reference.lines.size() ? reference.lines[page] : "(no line)";
    if (our != theirs) {
      return "page " + std::to_string(page + 1) + ": ours " + our + ", by the rules " + theirs;
    }
  }
  return {};
}

}  // namespace sealrun::verify::testing
