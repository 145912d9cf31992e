#pragma once
// Running a command-line tool (qpdf, pdfsig, pdftoppm, openssl, getent, python scripts, the programs of this
// build) from a test and capturing what it prints: a command line through the shell, or a program with its
// arguments passed as they are.
#include <string>
#include <string_view>
#include <vector>

namespace sealrun::testing {

// Where the tool's standard error goes.
enum class ErrorStream {
  WithOutput,  // into `output`, in the order it was written
  Apart,       // into `errors`
};

// What the tool printed. A tool that cannot be started reports why where its standard error would have gone.
struct ToolRun {
  int exitCode = -1;   // -1 when it could not be started or did not exit normally
  std::string output;  // standard output (and standard error with ErrorStream::WithOutput)
  std::string errors;  // standard error with ErrorStream::Apart
};

// A command line run by /bin/sh, so it may hold pipes, redirections and quoted words (ShellQuote).
ToolRun RunTool(const std::string& commandLine, ErrorStream errorStream = ErrorStream::WithOutput);

// A program, looked up in PATH unless it names a path, with each argument passed as it is: nothing in it is
// interpreted by a shell. Its standard input is empty: never the terminal the tests were started from.
ToolRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                   ErrorStream errorStream = ErrorStream::WithOutput);
// The same with `input` (a few kilobytes at most) on its standard input.
ToolRun RunProgramWithInput(const std::string& program, const std::vector<std::string>& arguments,
                            std::string_view input, ErrorStream errorStream = ErrorStream::WithOutput);

// The text as one word of a shell command line, whatever characters it holds.
std::string ShellQuote(std::string_view text);

}  // namespace sealrun::testing
