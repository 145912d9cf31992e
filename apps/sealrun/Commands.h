#pragma once
// The front end's commands. Each returns the process's exit code: 0 done, 2 refused (the reason printed).
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/host/HostDriver.h"

namespace sealrun::apps {

inline constexpr int kExitDone = 0;
inline constexpr int kExitSomeFailed = 1;  // the run went through; some files were not sealed
inline constexpr int kExitRefused = 2;

int RunPrestamp(const std::vector<std::string>& arguments);
int RunTemplates(const std::vector<std::string>& arguments);

int RunSign(const std::vector<std::string>& arguments);
// verify, remove and inspect (each answers --help itself).
int RunVerifyCommand(const std::vector<std::string>& arguments);
int RunRemoveCommand(const std::vector<std::string>& arguments);
int RunInspectCommand(const std::vector<std::string>& arguments);
int RunSetup(const std::vector<std::string>& arguments);
const char* SignHelp();

// Opens a template in the reader; the reason when it is not a PDF file the reader can open.
std::optional<std::string> OpenTemplate(platform::host::HostDriver& driver, const std::filesystem::path& path);

// Prints a refusal on standard error and answers kExitRefused.
int Refuse(const std::string& message);

}  // namespace sealrun::apps
