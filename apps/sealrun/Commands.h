#pragma once
// The front end's commands. Each returns the process's exit code: 0 done, 2 refused (the reason printed).
#include <string>
#include <vector>

namespace sealrun::apps {

inline constexpr int kExitDone = 0;
inline constexpr int kExitRefused = 2;

int RunPrestamp(const std::vector<std::string>& arguments);
int RunTemplates(const std::vector<std::string>& arguments);

// Prints a refusal on standard error and answers kExitRefused.
int Refuse(const std::string& message);

}  // namespace sealrun::apps
