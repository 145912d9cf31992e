#pragma once
// tramex-server run by a test: started on a loopback ephemeral port, its log read from a pipe, stopped
// with SIGTERM when the object goes. TRAMEX_SERVER_PROGRAM names the program.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

namespace sealrun::testing {

class TramexServerProcess {
 public:
  // Null when the program does not start or does not say where it listens within ten seconds.
  static std::unique_ptr<TramexServerProcess> Start(const std::vector<std::string>& extraArguments) {
    std::vector<std::string> arguments = {TRAMEX_SERVER_PROGRAM, "--listen", "127.0.0.1:0"};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    auto process = std::make_unique<TramexServerProcess>(Token{});
    if (!process->Spawn(arguments)) return nullptr;
    const std::string first = process->ReadLine(std::chrono::seconds(10));
    const std::string prefix = "listening on 127.0.0.1:";
    if (first.rfind(prefix, 0) != 0) return nullptr;
    process->port_ = std::stoi(first.substr(prefix.size()));
    return process;
  }

  struct Token {};
  explicit TramexServerProcess(Token) {}

  ~TramexServerProcess() {
    // The read end goes first: a server blocked writing its log into a full pipe could not stop otherwise.
    if (output_ >= 0) close(output_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
  }
  TramexServerProcess(const TramexServerProcess&) = delete;
  TramexServerProcess& operator=(const TramexServerProcess&) = delete;

  int Port() const { return port_; }
  std::string Url(const std::string& path = "/tramex") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  // The log lines of the next requests: up to `expected` lines, each waited for up to ten seconds, then
  // whatever else is already there (a line too many is a fault as well).
  std::vector<std::string> RequestLines(std::size_t expected) {
    std::vector<std::string> lines;
    while (lines.size() < expected) {
      std::string line = ReadLine(std::chrono::seconds(10));
      if (line.empty()) break;
      lines.push_back(std::move(line));
    }
    for (std::string extra; !(extra = ReadLine(std::chrono::milliseconds(200))).empty();) lines.push_back(extra);
    return lines;
  }

  // The next line of the server's output, without its line feed; empty when none comes in time.
  std::string ReadLine(std::chrono::milliseconds wait = std::chrono::milliseconds(2000)) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (true) {
      if (const std::size_t end = buffered_.find('\n'); end != std::string::npos) {
        std::string line = buffered_.substr(0, end);
        buffered_.erase(0, end + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return {};
      pollfd ready{output_, POLLIN, 0};
      if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) return {};
      char chunk[4096];
      const ssize_t got = read(output_, chunk, sizeof chunk);
      if (got <= 0) return {};
      buffered_.append(chunk, static_cast<std::size_t>(got));
    }
  }

 private:
  bool Spawn(const std::vector<std::string>& arguments) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    output_ = pipeEnds[0];
    if (spawned != 0) pid_ = -1;
    return spawned == 0;
  }

  pid_t pid_ = -1;
  int output_ = -1;
  int port_ = 0;
  std::string buffered_;
};

// How many of the lines contain the text. The server writes a request's line after its answer has gone out,
// so a client's next request can be logged first: lines are counted, not taken in order.
inline std::size_t LinesWith(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; }));
}

}  // namespace sealrun::testing
