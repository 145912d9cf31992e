#pragma once
// tramex-server run for a benchmark: started on a loopback ephemeral port with its output and its request
// log written to files (a pipe nobody drains would stall the server after a few hundred requests), stopped
// with SIGTERM.
#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace sealrun::bench {

class ServerProcess {
 public:
  // Null when the program does not start or does not print where it listens within ten seconds.
  static std::unique_ptr<ServerProcess> Start(const std::filesystem::path& program, const std::filesystem::path& logFile,
                                              const std::vector<std::string>& extraArguments = {});

  struct Token {};
  ServerProcess(Token, std::filesystem::path logFile) : logFile_(std::move(logFile)) {}
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // https:// when the server was given a TLS certificate.
  std::string Url() const {
    return std::string(https_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + "/tramex";
  }
  // Lines of the standard output so far, the "listening on" line first.
  std::vector<std::string> LogLines() const;
  // How many requests the server has logged so far (its standard error, in LOGFILE.requests).
  std::size_t RequestLines() const;

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  bool https_ = false;
  std::filesystem::path logFile_;
};

}  // namespace sealrun::bench
