// One demo step as a child process: fork, then chdir and exec in the child; the parent copies the child's
// standard output to its own as it arrives, so the user sees it live.
#include "apps/sealrun/DemoProcess.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace sealrun::apps {

namespace {

// One end of a pipe, closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

std::vector<std::string> ChangedEnvironment(const std::map<std::string, std::optional<std::string>>& changes) {
  std::vector<std::string> environment;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (!changes.contains(text.substr(0, text.find('=')))) environment.push_back(text);
  }
  for (const auto& [name, value] : changes)
    if (value) environment.push_back(name + "=" + *value);
  return environment;
}

CommandRun RunThisProgram(const std::vector<std::string>& arguments, const std::filesystem::path& folder,
                          const std::vector<std::string>& environment) {
  CommandRun run;
  int ends[2];
  if (::pipe(ends) != 0) return run;
  Descriptor readEnd(ends[0]);
  Descriptor writeEnd(ends[1]);
  // Everything prepared before fork: the child only calls async-signal-safe functions.
  std::vector<std::string> argumentTexts{"sealrun"};
  argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
  std::vector<std::string> environmentTexts = environment;
  const std::vector<char*> argv = Pointers(argumentTexts);
  const std::vector<char*> envp = Pointers(environmentTexts);
  const std::string directory = folder.string();
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = ::fork();
  if (child < 0) return run;
  if (child == 0) {
    static constexpr char kFailed[] = "sealrun: the step could not be started\n";
    if (::chdir(directory.c_str()) == 0 && ::dup2(writeEnd.Get(), STDOUT_FILENO) >= 0) {
      ::close(readEnd.Get());
      ::close(writeEnd.Get());
      ::execve("/proc/self/exe", argv.data(), envp.data());
    }
    if (::write(STDERR_FILENO, kFailed, sizeof kFailed - 1) < 0) _exit(127);
    _exit(127);
  }
  writeEnd.Close();
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(readEnd.Get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    run.output.append(buffer, static_cast<size_t>(got));
    std::fwrite(buffer, 1, static_cast<size_t>(got), stdout);
    std::fflush(stdout);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return run;
  }
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace sealrun::apps
