#pragma once
// The front end's commands. Each returns the process's exit code: 0 all good, 1 some file failed or is
// invalid, 2 refused or misused (the reason printed).
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/host/HostDriver.h"

namespace sealrun::apps {

inline constexpr int kExitDone = 0;
inline constexpr int kExitSomeFailed = 1;  // the run went through; some files were not sealed
inline constexpr int kExitRefused = 2;

// Each command and its --help text (with examples). prestamp, templates and sign run under the terminal
// user interface the caller sets up; the others set up their own.
int RunPrestamp(const std::vector<std::string>& arguments);
const char* PrestampHelp();
int RunTemplates(const std::vector<std::string>& arguments);
const char* TemplatesHelp();
int RunSign(const std::vector<std::string>& arguments);
const char* SignHelp();
int RunVerifyCommand(const std::vector<std::string>& arguments);
const char* VerifyHelp();
int RunRemoveCommand(const std::vector<std::string>& arguments);
const char* RemoveHelp();
int RunInspectCommand(const std::vector<std::string>& arguments);
const char* InspectHelp();
int RunUnlockKey(const std::vector<std::string>& arguments);
const char* UnlockKeyHelp();
int RunSetup(const std::vector<std::string>& arguments);
const char* SetupHelp();
int RunReader(const std::vector<std::string>& arguments);
const char* ReaderHelp();

// Opens a template in the reader; the reason when it is not a PDF file the reader can open.
std::optional<std::string> OpenTemplate(platform::host::HostDriver& driver, const std::filesystem::path& path);

// Prints a refusal on standard error and answers kExitRefused.
int Refuse(const std::string& message);

}  // namespace sealrun::apps
