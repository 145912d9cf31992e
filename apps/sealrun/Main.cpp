// sealrun: the terminal front end of the batch seal add-in.
#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "apps/sealrun/Commands.h"
#include "apps/sealrun/DemoCommand.h"
#include "apps/sealrun/SafeTerminalBackend.h"
#include "apps/sealrun/StopSignals.h"
#include "apps/sealrun/TerminalText.h"

namespace {

using namespace sealrun::apps;

struct Command {
  std::string_view name;
  const char* synopsis;
  const char* summary;
  int (*run)(const std::vector<std::string>&);
  const char* (*help)();
  // Whether the command plays the user in the reader under the terminal user interface set up here.
  bool terminal;
  // Whether it runs over many files and stops between them when asked (StopSignals.h).
  bool batchRun = false;
};

constexpr std::array kCommands = {
    Command{"prestamp", "TEMPLATE.pdf --page N --at X,Y [--image FILE] [--view-rotation 0|90|180|270]",
            "pre-stamp the seal on a template and save it", RunPrestamp, PrestampHelp, true},
    Command{"templates", "TEMPLATE.pdf", "list the pre-stamps of a template, one tab-separated record a line",
            RunTemplates, TemplatesHelp, true},
    Command{"sign",
            "(--template TEMPLATE.pdf [--entry NAME] | --keyword TEXT [--page N]) --seal NAME\n"
            "       [--pin-file FILE | --pin - | --pin PIN] [--date] [--remember-pin]\n"
            "       [--handwriting PICTURE [--handwriting-pin-file FILE | ...]] FILE...",
            "seal many PDF files in place", RunSign, SignHelp, true, true},
    Command{"verify", "[--export LOG.txt] FILE...", "verify every seal of many PDF files", RunVerifyCommand,
            VerifyHelp, false, true},
    Command{"remove", "[--pin-file FILE | --pin - | --pin PIN] FILE...", "remove the latest own seal from many PDF files", RunRemoveCommand,
            RemoveHelp, false, true},
    Command{"inspect", "[--json] FILE...", "list every seal of PDF files with its record and verdict",
            RunInspectCommand, InspectHelp, false},
    Command{"unlock-key", "[--code-file FILE | --code - | --code CODE]",
            "unlock the seal key after too many wrong PINs, with its unlock code", RunUnlockKey, UnlockKeyHelp,
            false},
    Command{"setup", "[--remove]", "install the add-in for the current user (or remove it)", RunSetup, SetupHelp,
            false},
    Command{"reader", "[FILE...]", "open PDF files in the desktop reader with the add-in loaded", RunReader,
            ReaderHelp, false},
    Command{"demo", "[--folder DIR]",
            "make sample files and run the main job on them: pre-stamp, seal, verify, tamper, verify, remove",
            RunDemo, DemoHelp, false},
};

void PrintUsage(std::FILE* to) {
  std::fputs("usage: sealrun COMMAND [ARGUMENTS]\n\ncommands:\n", to);
  for (const Command& command : kCommands) {
    std::fprintf(to, "  %.*s %s\n            %s\n", static_cast<int>(command.name.size()), command.name.data(),
                 command.synopsis, command.summary);
  }
  std::fputs("\n"
             "FILE may be a PDF file, a folder (its PDF files) or a pattern such as \"in/*.pdf\".\n"
             "sealrun COMMAND --help tells more. Exit codes: 0 all good, 1 some file failed or is invalid,\n"
             "2 refused or misused (the reason is printed), 128 + the signal when Ctrl+C or SIGTERM stopped\n"
             "the run between files (press Ctrl+C twice to end it at once; files stay whole either way).\n"
             "A PIN given as --pin PIN can be read by other users of the machine while the command runs:\n"
             "prefer --pin-file FILE, --pin - or the prompt.\n",
             to);
}

bool WantsHelp(const std::vector<std::string>& arguments) {
  for (const auto& argument : arguments) {
    if (argument == "--") return false;
    if (argument == "--help" || argument == "-h") return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> all(argv + 1, argv + argc);
  if (all.empty()) {
    PrintUsage(stderr);
    return kExitRefused;
  }
  const std::string& name = all.front();
  if (name == "--help" || name == "-h" || name == "help") {
    PrintUsage(stdout);
    return kExitDone;
  }
  const std::vector<std::string> arguments(all.begin() + 1, all.end());
  for (const Command& command : kCommands) {
    if (command.name != name) continue;
    if (WantsHelp(arguments)) {
      std::fputs(command.help(), stdout);
      return kExitDone;
    }
    // Only the batch runs look for a stop request between files; the other commands end on the signal.
    std::optional<StopOnSignals> stopBetweenFiles;
    if (command.batchRun) stopBetweenFiles.emplace();
    if (!command.terminal) return StopOnSignals::ExitCode(command.run(arguments));
    sealrun::platform::ui::ScopedBackend backend(std::make_unique<SafeTerminalBackend>());
    return StopOnSignals::ExitCode(command.run(arguments));
  }
  std::fprintf(stderr, "sealrun: unknown command %s\n\n", TerminalSafe(name).c_str());
  PrintUsage(stderr);
  return kExitRefused;
}
