#pragma once
// tramex-server run by a test: started on a loopback ephemeral port, its first line ("listening on") read from
// a pipe and its log (standard error) from a file in memory, stopped with SIGTERM when the object goes.
// TRAMEX_SERVER_PROGRAM names the program.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace sealrun::testing {

class TramexServerProcess {
 public:
  enum class Scheme { Http, Https };

  // Null when the program does not start or does not say where it listens within ten seconds. `environment`
  // adds NAME=VALUE entries to the test's own environment.
  static std::unique_ptr<TramexServerProcess> Start(const std::vector<std::string>& extraArguments,
                                                    const std::vector<std::string>& environment = {},
                                                    Scheme scheme = Scheme::Http) {
    std::vector<std::string> arguments = {TRAMEX_SERVER_PROGRAM, "--listen", "127.0.0.1:0"};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    auto process = std::make_unique<TramexServerProcess>(Token{});
    process->scheme_ = scheme;
    if (!process->Spawn(arguments, environment)) return nullptr;
    const std::string first = process->ReadLine(std::chrono::seconds(10));
    const std::string prefix = "listening on 127.0.0.1:";
    if (first.rfind(prefix, 0) != 0) return nullptr;
    process->port_ = std::stoi(first.substr(prefix.size()));
    return process;
  }

  struct Token {};
  explicit TramexServerProcess(Token) {}

  ~TramexServerProcess() {
    // The read end goes first: a server blocked writing into a full pipe could not stop otherwise.
    if (output_ >= 0) close(output_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    if (log_ >= 0) close(log_);
  }
  TramexServerProcess(const TramexServerProcess&) = delete;
  TramexServerProcess& operator=(const TramexServerProcess&) = delete;

  int Port() const { return port_; }
  std::string Url(const std::string& path = "/tramex") const {
    return std::string(scheme_ == Scheme::Https ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
  }

  // Sends SIGTERM and waits up to `wait` for the process to end: its exit code, or -1 when it did not exit
  // normally in time (it is then killed).
  int Terminate(std::chrono::milliseconds wait) {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The log lines of the next requests: up to `expected` lines, each waited for up to ten seconds, then
  // whatever else is already there (a line too many is a fault as well). Other events are skipped.
  std::vector<std::string> RequestLines(std::size_t expected) {
    std::vector<std::string> lines;
    const auto isRequest = [](const std::string& line) { return line.find(" event=request ") != std::string::npos; };
    while (lines.size() < expected) {
      std::string line = ReadLogLine(std::chrono::seconds(10));
      if (line.empty()) break;
      if (isRequest(line)) lines.push_back(std::move(line));
    }
    for (std::string extra; !(extra = ReadLogLine(std::chrono::milliseconds(200))).empty();) {
      if (isRequest(extra)) lines.push_back(extra);
    }
    return lines;
  }

  // The next line of the log, without its line feed; empty when none comes in time.
  std::string ReadLogLine(std::chrono::milliseconds wait = std::chrono::milliseconds(2000)) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (true) {
      if (std::optional<std::string> line = TakeLine(logBuffered_)) return *line;
      char chunk[4096];
      const ssize_t got = pread(log_, chunk, sizeof chunk, logOffset_);
      if (got > 0) {
        logOffset_ += got;
        logBuffered_.append(chunk, static_cast<std::size_t>(got));
        continue;
      }
      if (std::chrono::steady_clock::now() >= deadline) return {};
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  // The next line of the server's standard output, without its line feed; empty when none comes in time.
  std::string ReadLine(std::chrono::milliseconds wait = std::chrono::milliseconds(2000)) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (true) {
      if (std::optional<std::string> line = TakeLine(buffered_)) return *line;
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
  // The first whole line held in `buffered`, taken out of it without its line feed.
  static std::optional<std::string> TakeLine(std::string& buffered) {
    const std::size_t end = buffered.find('\n');
    if (end == std::string::npos) return std::nullopt;
    std::string line = buffered.substr(0, end);
    buffered.erase(0, end + 1);
    return line;
  }

  bool Spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& environment) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return false;
    // The log goes to a file, which never fills up however long nobody reads it.
    log_ = memfd_create("tramex-server-log", MFD_CLOEXEC);
    if (log_ < 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, log_, STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // The test's entries first: a name given twice is read at its first entry.
    std::vector<char*> envp;
    for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    for (char** entry = environ; *entry != nullptr; ++entry) envp.push_back(*entry);
    envp.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    output_ = pipeEnds[0];
    if (spawned != 0) pid_ = -1;
    return spawned == 0;
  }

  pid_t pid_ = -1;
  int output_ = -1;
  int log_ = -1;
  off_t logOffset_ = 0;
  int port_ = 0;
  Scheme scheme_ = Scheme::Http;
  std::string buffered_;
  std::string logBuffered_;
};

// How many of the lines contain every one of the texts. The server writes a request's line after its answer
// has gone out, so a client's next request can be logged first: lines are counted, not taken in order.
inline std::size_t LinesWithAll(const std::vector<std::string>& lines, const std::vector<std::string>& texts) {
  return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
    return std::all_of(texts.begin(), texts.end(), [&](const std::string& text) { return line.find(text) != std::string::npos; });
  }));
}
inline std::size_t LinesWith(const std::vector<std::string>& lines, const std::string& text) {
  return LinesWithAll(lines, std::vector<std::string>{text});
}

// The value of a logfmt field of a log line ("-" and quoted values as written); empty when absent.
inline std::string LogField(const std::string& line, const std::string& key) {
  const std::string marker = " " + key + "=";
  const std::size_t start = line.find(marker);
  if (start == std::string::npos) return {};
  const std::size_t valueStart = start + marker.size();
  if (valueStart < line.size() && line[valueStart] == '"') {
    const std::size_t end = line.find('"', valueStart + 1);
    return line.substr(valueStart + 1, end == std::string::npos ? std::string::npos : end - valueStart - 1);
  }
  return line.substr(valueStart, line.find(' ', valueStart) - valueStart);
}

}  // namespace sealrun::testing
