#pragma once
// Running one command of this same program as a separate process, the way a user runs it from a shell:
// its standard output passes through to ours and is kept for checking; standard error (progress) is shared.
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sealrun::apps {

struct CommandRun {
  int exitCode = -1;  // -1 when the program could not be started or did not exit normally
  std::string output;
};

// The current environment with `changes` applied: a value sets the variable, nullopt removes it.
std::vector<std::string> ChangedEnvironment(const std::map<std::string, std::optional<std::string>>& changes);

// Starts this program (/proc/self/exe) with `arguments` in `folder`, with exactly `environment`.
CommandRun RunThisProgram(const std::vector<std::string>& arguments, const std::filesystem::path& folder,
                          const std::vector<std::string>& environment);

}  // namespace sealrun::apps
