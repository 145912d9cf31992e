#pragma once
// Runs a program directly (no shell between), as a user runs a command-line tool once per file, and
// collects what it printed on both streams.
#include <string>
#include <vector>

namespace sealrun::bench {

struct ToolRun {
  int exitCode = -1;  // -1 when the program did not start or did not exit normally
  std::string output;
};

// arguments[0] is the program, looked up in PATH.
ToolRun RunProgram(const std::vector<std::string>& arguments);

}  // namespace sealrun::bench
