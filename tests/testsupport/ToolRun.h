#pragma once
// Running a command-line tool (qpdf, pdfsig, openssl, pikepdf scripts) from a test through the shell.
#include <string>

namespace sealrun::testing {

struct ToolRun {
  int exitCode = -1;   // -1 when the shell could not run it or it did not exit normally
  std::string output;  // standard output and error together
};

ToolRun RunTool(const std::string& command);

}  // namespace sealrun::testing
