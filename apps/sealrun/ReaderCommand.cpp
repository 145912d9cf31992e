// sealrun reader: starts the desktop reader (sealrun-reader) with the given files, beside this program when
// installed, else where it was built.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "apps/sealrun/Commands.h"

namespace sealrun::apps {

namespace fs = std::filesystem;

namespace {

constexpr char kReaderHelp[] =
    "usage: sealrun reader [FILE...]\n"
    "\n"
    "Opens PDF files in the desktop reader, with the add-in loaded as it is in the host reader: its\n"
    "toolbar, its batch pane, its dialogs. Needs a graphical session (DISPLAY or WAYLAND_DISPLAY).\n"
    "\n"
    "examples:\n"
    "  sealrun reader contract.pdf\n"
    "  sealrun reader\n";

fs::path ReaderProgram() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (!error) {
    const fs::path beside = self.parent_path() / "sealrun-reader";
    if (fs::exists(beside, error)) return beside;
  }
#if defined(SEALRUN_BUILT_READER)
  return SEALRUN_BUILT_READER;
#else
  return {};
#endif
}

}  // namespace

int RunReader(const std::vector<std::string>& arguments) {
  const fs::path program = ReaderProgram();
  std::error_code error;
  if (program.empty() || !fs::exists(program, error))
    return Refuse("the desktop reader is not installed (it is built where Qt 6 Widgets is installed)");
  std::vector<std::string> words{program.string()};
  for (const auto& argument : arguments) {
    // Files only: a name starting with '-' is passed as a path, never as an option.
    words.push_back(!argument.empty() && argument.front() == '-' ? "./" + argument : argument);
  }
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  ::execv(program.c_str(), argv.data());
  return Refuse("cannot start " + program.string() + ": " + std::strerror(errno));
}

const char* ReaderHelp() { return kReaderHelp; }

}  // namespace sealrun::apps
