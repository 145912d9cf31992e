#include "bench/online/ServerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

extern char** environ;

namespace sealrun::bench {

std::unique_ptr<ServerProcess> ServerProcess::Start(const std::filesystem::path& program,
                                                    const std::filesystem::path& logFile,
                                                    const std::vector<std::string>& extraArguments) {
  auto process = std::make_unique<ServerProcess>(Token{}, logFile);
  std::vector<std::string> arguments = {program.string(), "--listen", "127.0.0.1:0"};
  arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
  process->https_ = std::find(extraArguments.begin(), extraArguments.end(), "--tls-cert") != extraArguments.end();
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::string requestLog = logFile.string() + ".requests";
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, requestLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int spawned = posix_spawn(&process->pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    process->pid_ = -1;
    return nullptr;
  }

  const std::string prefix = "listening on 127.0.0.1:";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::vector<std::string> lines = process->LogLines();
    if (!lines.empty() && lines.front().rfind(prefix, 0) == 0) {
      process->port_ = std::stoi(lines.front().substr(prefix.size()));
      return process;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return nullptr;
}

ServerProcess::~ServerProcess() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
}

namespace {

std::vector<std::string> CompleteLines(const std::filesystem::path& file) {
  std::vector<std::string> lines;
  std::ifstream log(file);
  // A line still being written has no line feed yet; it is left for the next read.
  std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

}  // namespace

std::vector<std::string> ServerProcess::LogLines() const { return CompleteLines(logFile_); }

std::size_t ServerProcess::RequestLines() const {
  std::size_t count = 0;
  for (const std::string& line : CompleteLines(logFile_.string() + ".requests"))
    count += line.find(" event=request ") != std::string::npos ? 1 : 0;
  return count;
}

}  // namespace sealrun::bench
