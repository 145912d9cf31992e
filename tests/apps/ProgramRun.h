#pragma once
// Running a program of this build the way a user does, from a shell, with its output captured.
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

namespace sealrun::apps::testing {

struct ProgramRun {
  int exitCode = -1;
  std::string output;  // standard output and error together
};

inline std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

inline ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
  std::string command = ShellQuote(program);
  for (const auto& argument : arguments) command += " " + ShellQuote(argument);
  command += " 2>&1";
  ProgramRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t read = 0;
  while ((read = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, read);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace sealrun::apps::testing
