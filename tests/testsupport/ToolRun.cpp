#include "tests/testsupport/ToolRun.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace sealrun::testing {
namespace {

// One end of a pipe, closed when it goes.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { Close(); }

  int Get() const { return fd_; }
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

struct Pipe {
  FileDescriptor read;
  FileDescriptor write;
};

// Both ends close on exec; the child gets its copies through dup2, which clears that flag.
bool OpenPipe(Pipe& pipe) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  pipe.read.Reset(fds[0]);
  pipe.write.Reset(fds[1]);
  return true;
}

class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  posix_spawn_file_actions_t* Get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

// Reads the streams until the tool closes both; each is read as it fills, so neither can block the tool.
void ReadUntilClosed(FileDescriptor& output, std::string& outputText, FileDescriptor& errors, std::string& errorText) {
  std::array<char, 4096> buffer{};
  for (;;) {
    std::array<pollfd, 2> streams{{{output.Get(), POLLIN, 0}, {errors.Get(), POLLIN, 0}}};
    if (streams[0].fd < 0 && streams[1].fd < 0) return;
    if (::poll(streams.data(), streams.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    for (std::size_t i = 0; i < streams.size(); ++i) {
      if (streams[i].fd < 0 || streams[i].revents == 0) continue;
      FileDescriptor& stream = i == 0 ? output : errors;
      const ssize_t read = ::read(stream.Get(), buffer.data(), buffer.size());
      if (read > 0)
        (i == 0 ? outputText : errorText).append(buffer.data(), static_cast<std::size_t>(read));
      else if (read == 0 || errno != EINTR)
        stream.Close();
    }
  }
}

// Writes the input and closes the pipe; a program that ends without reading it is no failure.
void Feed(FileDescriptor& input, std::string_view bytes) {
  struct sigaction ignore {};
  struct sigaction previous {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &previous);
  while (!bytes.empty()) {
    const ssize_t written = ::write(input.Get(), bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  input.Close();
  sigaction(SIGPIPE, &previous, nullptr);
}

}  // namespace

ToolRun RunProgram(const std::string& program, const std::vector<std::string>& arguments, ErrorStream errorStream) {
  return RunProgramWithInput(program, arguments, {}, errorStream);
}

ToolRun RunProgramWithInput(const std::string& program, const std::vector<std::string>& arguments,
                            std::string_view input, ErrorStream errorStream) {
  ToolRun run;
  const bool apart = errorStream == ErrorStream::Apart;
  std::string& startFailure = apart ? run.errors : run.output;
  Pipe inputPipe;
  Pipe output;
  Pipe errors;
  if (!OpenPipe(inputPipe) || !OpenPipe(output) || (apart && !OpenPipe(errors))) {
    startFailure = "cannot make a pipe: " + std::string(std::strerror(errno));
    return run;
  }
  SpawnActions actions;
  posix_spawn_file_actions_adddup2(actions.Get(), inputPipe.read.Get(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(actions.Get(), output.write.Get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(actions.Get(), apart ? errors.write.Get() : output.write.Get(), STDERR_FILENO);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, program.c_str(), actions.Get(), nullptr, argv.data(), environ);
  // The tool holds the write ends now; ours must go, or the reads below never see the end.
  inputPipe.read.Close();
  output.write.Close();
  errors.write.Close();
  if (spawned != 0) {
    startFailure = "cannot run " + program + ": " + std::strerror(spawned);
    return run;
  }
  Feed(inputPipe.write, input);
  ReadUntilClosed(output.read, run.output, errors.read, run.errors);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return run;
  }
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

ToolRun RunTool(const std::string& commandLine, ErrorStream errorStream) {
  return RunProgram("/bin/sh", {"-c", commandLine}, errorStream);
}

std::string ShellQuote(std::string_view text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

}  // namespace sealrun::testing
