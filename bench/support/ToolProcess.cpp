#include "bench/support/ToolProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>

extern char** environ;

namespace sealrun::bench {

namespace {

class Pipe {
 public:
  Pipe() {
    // Close-on-exec: a child spawned by another thread at the same time must not hold this pipe open.
    if (pipe2(ends_.data(), O_CLOEXEC) != 0) ends_ = {-1, -1};
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  bool Ok() const { return ends_[0] >= 0; }
  int Read() const { return ends_[0]; }
  int Write() const { return ends_[1]; }
  void CloseRead() { Close(ends_[0]); }
  void CloseWrite() { Close(ends_[1]); }

 private:
  static void Close(int& end) {
    if (end >= 0) close(end);
    end = -1;
  }
  std::array<int, 2> ends_{-1, -1};
};

class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* Get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

}  // namespace

ToolRun RunProgram(const std::vector<std::string>& arguments) {
  ToolRun run;
  if (arguments.empty()) return run;
  Pipe output;
  if (!output.Ok()) return run;
  SpawnActions actions;
  posix_spawn_file_actions_addclose(actions.Get(), output.Read());
  posix_spawn_file_actions_adddup2(actions.Get(), output.Write(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(actions.Get(), output.Write(), STDERR_FILENO);
  posix_spawn_file_actions_addclose(actions.Get(), output.Write());
  posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);

  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawnp(&child, argv[0], actions.Get(), nullptr, argv.data(), environ) != 0) return run;
  output.CloseWrite();

  std::array<char, 4096> buffer{};
  for (;;) {
    const ssize_t got = read(output.Read(), buffer.data(), buffer.size());
    if (got > 0) {
      run.output.append(buffer.data(), static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace sealrun::bench
