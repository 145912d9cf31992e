// sealrun: the terminal front end of the batch seal add-in.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "apps/sealrun/Commands.h"
#include "platform/ui/TerminalBackend.h"

namespace {

constexpr char kUsage[] =
    "usage: sealrun COMMAND [ARGUMENTS]\n"
    "\n"
    "commands:\n"
    "  prestamp TEMPLATE.pdf --page N --at X,Y [--image FILE] [--view-rotation 0|90|180|270]\n"
    "            pre-stamp the seal on a template and save it\n"
    "  templates TEMPLATE.pdf\n"
    "            list the pre-stamps of a template, one tab-separated record a line\n"
    "  setup [--remove]\n"
    "            install the add-in for the current user (or remove it)\n"
    "  sign (--template TEMPLATE.pdf [--entry NAME] | --keyword TEXT [--page N]) --seal NAME --pin PIN\n"
    "       [--date] [--remember-pin] FILE...\n"
    "            seal many PDF files in place\n"
    "  verify [--export LOG.txt] FILE...\n"
    "            verify every seal of many PDF files\n"
    "  remove --pin PIN FILE...\n"
    "            remove the latest own seal from many PDF files\n"
    "  inspect [--json] FILE...\n"
    "            list every seal of PDF files with its record and verdict\n"
    "\n"
    "sealrun COMMAND --help tells more. Exit codes: 0 done, 1 some files failed, 2 refused (the reason\n"
    "is printed).\n";

constexpr char kPrestampHelp[] =
    "usage: sealrun prestamp TEMPLATE.pdf --page N --at X,Y [--image FILE] [--view-rotation 0|90|180|270]\n"
    "\n"
    "Opens TEMPLATE.pdf in the reader, picks \"预盖印章\" (pre-stamp) from the add-in's popup, clicks at\n"
    "X,Y on page N (from 1; points from the page's top-left corner as displayed, y downward) and saves the\n"
    "template. --image FILE first chooses the seal picture through \"自选印章\" (the choice is remembered in\n"
    "the user's settings); without it the last chosen picture, or the built-in seal, is used.\n"
    "--view-rotation turns the view before the click.\n";

constexpr char kTemplatesHelp[] =
    "usage: sealrun templates TEMPLATE.pdf\n"
    "\n"
    "Prints each pre-stamp of the template as the signing run reads it: left, top, right, bottom, page\n"
    "index, page rotation, name, image rotation, page width, page height, then the corner offsets\n"
    "(top-left, top-right, bottom-left, bottom-right, each horizontal and vertical), separated by tabs.\n";

constexpr char kSetupHelp[] =
    "usage: sealrun setup [--remove]\n"
    "\n"
    "Installs the add-in for the current user: registers the add-in and the seal key's components (in the\n"
    "registry at SEALRUN_REGISTRY), adds the add-in to the reader's list of add-ins (SEALRUN_HOST_SETTINGS, or\n"
    "QuoralPDF/host.conf in the application-data folder) and writes the settings files BrasmoorPublic.dll,\n"
    "BatchPDFConfig.dll and OrtavexConfig.dll into Signavox_ConfigFile/ there when they do not exist.\n"
    "--remove undoes the registration and the add-in list entry; settings files are kept.\n"
    "Running it again changes nothing.\n"
    "\n"
    "examples:\n"
    "  sealrun setup\n"
    "  sealrun setup --remove\n";

bool WantsHelp(const std::vector<std::string>& arguments) {
  for (const auto& argument : arguments)
    if (argument == "--help" || argument == "-h") return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace sealrun::apps;
  const std::vector<std::string> all(argv + 1, argv + argc);
  if (all.empty()) {
    std::fputs(kUsage, stderr);
    return kExitRefused;
  }
  const std::string command = all.front();
  const std::vector<std::string> arguments(all.begin() + 1, all.end());
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return kExitDone;
  }
  if (command == "demo") {
    // scripts/demo calls this; the runs it shows (signing, verification, removal) are not in the front end yet.
    std::fputs("sealrun: the demo is not available yet: the front end can pre-stamp templates and list their\n"
               "pre-stamps (sealrun prestamp, sealrun templates); the signing, verification and removal runs\n"
               "are not built into it yet.\n",
               stderr);
    return kExitRefused;
  }
  if (command == "setup") {
    if (WantsHelp(arguments)) {
      std::fputs(kSetupHelp, stdout);
      return kExitDone;
    }
    return RunSetup(arguments);
  }
  if (command == "verify") return RunVerifyCommand(arguments);
  if (command == "remove") return RunRemoveCommand(arguments);
  if (command == "inspect") return RunInspectCommand(arguments);
  if (command != "prestamp" && command != "templates" && command != "sign") {
    std::fprintf(stderr, "sealrun: unknown command %s\n\n%s", command.c_str(), kUsage);
    return kExitRefused;
  }
  if (WantsHelp(arguments)) {
    std::fputs(command == "sign" ? SignHelp() : command == "prestamp" ? kPrestampHelp : kTemplatesHelp, stdout);
    return kExitDone;
  }
  sealrun::platform::ui::ScopedBackend backend(std::make_unique<sealrun::platform::ui::TerminalBackend>());
  if (command == "sign") return RunSign(arguments);
  return command == "prestamp" ? RunPrestamp(arguments) : RunTemplates(arguments);
}
