// Where the front end takes the key's PIN from: a file (its first line), standard input, or a prompt on the
// terminal that does not echo what is typed, and the refusals when there is no usable PIN. A PIN given as
// --pin still works for scripts. Removal from a file without a seal shows what happened to the PIN: an
// accepted PIN runs (and the file keeps its seals: exit 1), a refused one stops the run (exit 2).
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/apps/FrontEndFixture.h"

namespace sealrun::apps {
namespace {

namespace fs = std::filesystem;
using sealrun::testing::WriteFileBytes;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class PinInput : public FrontEnd {
 protected:
  void SetUp() override {
    fs::copy(SEALRUN_DEMO_KEY, temp_ / "key", fs::copy_options::recursive);
    file_ = temp_ / "unsealed.pdf";
    fs::copy_file(sealrun::testing::CorpusFile("pypdf-crazyones.pdf"), file_);
    fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write);
  }

  fs::path PinFile(const std::string& content, fs::perms mode = fs::perms::owner_read | fs::perms::owner_write) {
    const fs::path path = temp_ / ("pin-" + std::to_string(++pinFiles_));
    WriteFileBytes(path, content);
    fs::permissions(path, mode, fs::perm_options::replace);
    return path;
  }

  ProgramRun Remove(const std::vector<std::string>& pinArguments, std::string_view input = {}) {
    std::vector<std::string> arguments{"remove"};
    arguments.insert(arguments.end(), pinArguments.begin(), pinArguments.end());
    arguments.push_back(file_.string());
    return sealrun::testing::RunProgramWithInput(SEALRUN_PROGRAM, arguments, input);
  }

  static void ExpectAccepted(const ProgramRun& run) {
    EXPECT_EQ(run.exitCode, 1) << "the PIN was accepted and the run went through\n" << run.output;
    EXPECT_TRUE(Contains(run.output, "撤章失败：1份")) << run.output;
  }
  static void ExpectRefusedByTheKey(const ProgramRun& run) {
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_TRUE(Contains(run.output, "密码错误")) << run.output;
  }

  fs::path file_;
  int pinFiles_ = 0;
};

TEST_F(PinInput, FirstLineOfAFileOrOfStandardInputIsThePin) {
  ExpectAccepted(Remove({"--pin-file", PinFile("123456\n").string()}));
  ExpectAccepted(Remove({"--pin-file", PinFile("123456\r\nsecond line is not read\n").string()}));
  ExpectAccepted(Remove({"--pin-file", PinFile("123456").string()}));
  ExpectRefusedByTheKey(Remove({"--pin-file", PinFile("123456 \n").string()}));
  const ProgramRun emptyFirstLine = Remove({"--pin-file", PinFile("\n123456\n").string()});
  EXPECT_EQ(emptyFirstLine.exitCode, 2);
  EXPECT_TRUE(Contains(emptyFirstLine.output, "is empty")) << emptyFirstLine.output;

  ExpectAccepted(Remove({"--pin", "-"}, "123456\n"));
  ExpectAccepted(Remove({"--pin", "-"}, "123456"));
  ExpectRefusedByTheKey(Remove({"--pin", "-"}, "654321\n123456\n"));
  ExpectAccepted(Remove({"--pin", "123456"}));  // kept for scripts
}

TEST_F(PinInput, NoUsablePinIsRefusedBeforeAnythingRuns) {
  const struct {
    std::vector<std::string> pin;
    std::string input;
    std::string says;
  } cases[] = {
      {{}, "", "standard input is not a terminal"},
      {{}, "123456\n", "standard input is not a terminal"},  // piped input is read only when --pin - asks
      {{"--pin-file", (temp_ / "missing-pin").string()}, "", "cannot be read"},
      {{"--pin-file", temp_.Path().string()}, "", "cannot be read"},
      {{"--pin-file", PinFile("\n").string()}, "", "is empty"},
      {{"--pin-file", PinFile("").string()}, "", "is empty"},
      {{"--pin-file", PinFile(std::string(5000, '1')).string()}, "", "longer than a PIN can be"},
      {{"--pin", "-"}, "", "is empty"},
      {{"--pin", "-"}, "\r\n", "is empty"},
      {{"--pin", ""}, "", "is empty"},
      {{"--pin", "123456", "--pin-file", PinFile("123456").string()}, "", "give one of them once"},
  };
  for (const auto& c : cases) {
    const ProgramRun run = Remove(c.pin, c.input);
    EXPECT_EQ(run.exitCode, 2) << c.says << "\n" << run.output;
    EXPECT_TRUE(Contains(run.output, c.says)) << run.output;
    EXPECT_FALSE(Contains(run.output, "批量撤章")) << "no run was started\n" << run.output;
  }
  const ProgramRun run = Sealrun({"remove", file_.string(), "--pin-file"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(Contains(run.output, "--pin-file wants a file")) << run.output;
}

TEST_F(PinInput, APinFileOthersCanReadIsUsedWithAWarning) {
  const fs::path loose = PinFile("123456\n", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                                 fs::perms::others_read);
  const ProgramRun run = Remove({"--pin-file", loose.string()});
  ExpectAccepted(run);
  EXPECT_TRUE(Contains(run.output, "can be read by other users")) << run.output;
  EXPECT_FALSE(Contains(Remove({"--pin-file", PinFile("123456\n").string()}).output, "can be read by other users"));
}

TEST_F(PinInput, SigningTakesBothPinsFromFilesAndOneFromStandardInput) {
  ProgramRun run = Sealrun({"sign", "--keyword", "crazy", "--seal", "演示公章", "--pin-file",
                            PinFile("123456\n").string(), file_.string()});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "签章成功：1")) << run.output;
  run = sealrun::testing::RunProgramWithInput(
      SEALRUN_PROGRAM, {"sign", "--keyword", "crazy", "--seal", "演示公章", "--pin", "-", file_.string()}, "000000\n");
  EXPECT_EQ(run.exitCode, 2) << run.output;
  EXPECT_TRUE(Contains(run.output, "密码错误")) << run.output;

  run = Sealrun({"sign", "--keyword", "crazy", "--seal", "演示公章", "--pin", "-", "--handwriting-pin", "-",
                 "--handwriting", "hand.png", file_.string()});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(Contains(run.output, "standard input gives one PIN")) << run.output;
  run = Sealrun({"sign", "--keyword", "crazy", "--seal", "演示公章", file_.string()});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(Contains(run.output, "--pin-file FILE, --pin - (standard input) or --pin PIN")) << run.output;
  run = Sealrun({"sign", "--keyword", "crazy", "--seal", "演示公章", "--handwriting-pin-file", PinFile("1").string(),
                 file_.string()});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(Contains(run.output, "--handwriting-pin goes with --handwriting")) << run.output;
}

// The program on a pseudo-terminal, as a user at a terminal runs it.
struct TerminalRun {
  int exitCode = -1;
  std::string screen;        // everything the terminal showed
  bool echoRestored = false;  // the terminal echoes again after the program ended
};

TerminalRun RunOnTerminal(const std::vector<std::string>& arguments, const std::string& prompt, const std::string& typed) {
  TerminalRun result;
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return result;
  if (pid == 0) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  bool answered = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  char buffer[1024];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd ready{master, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0) break;  // EIO: the program closed the terminal
    result.screen.append(buffer, static_cast<size_t>(got));
    if (!answered && result.screen.find(prompt) != std::string::npos) {
      // Typed once the echo is off: the prompt is shown only after that.
      if (write(master, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size())) break;
      answered = true;
    }
  }
  termios settings{};
  result.echoRestored = tcgetattr(master, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
  // A program still waiting for input after the deadline is ended rather than waited for.
  int status = 0;
  bool ended = false;
  while (!ended && std::chrono::steady_clock::now() < deadline + std::chrono::seconds(30)) {
    ended = waitpid(pid, &status, WNOHANG) == pid;
    if (!ended) usleep(20000);
  }
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  close(master);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST_F(PinInput, OnATerminalThePinIsAskedForAndNotShown) {
  TerminalRun run = RunOnTerminal({SEALRUN_PROGRAM, "remove", file_.string()}, "PIN of the seal key: ", "123456\n");
  EXPECT_EQ(run.exitCode, 1) << run.screen;
  EXPECT_TRUE(Contains(run.screen, "撤章失败：1份")) << run.screen;
  EXPECT_FALSE(Contains(run.screen, "123456")) << "the typed PIN is not echoed\n" << run.screen;
  EXPECT_TRUE(run.echoRestored);

  run = RunOnTerminal({SEALRUN_PROGRAM, "remove", "--pin", "-", file_.string()}, "PIN of the seal key: ", "987654\n");
  EXPECT_EQ(run.exitCode, 2) << run.screen;
  EXPECT_TRUE(Contains(run.screen, "密码错误")) << run.screen;
  EXPECT_FALSE(Contains(run.screen, "987654")) << run.screen;
  EXPECT_TRUE(run.echoRestored);

  run = RunOnTerminal({SEALRUN_PROGRAM, "remove", file_.string()}, "PIN of the seal key: ", "\n");
  EXPECT_EQ(run.exitCode, 2) << run.screen;
  EXPECT_TRUE(Contains(run.screen, "is empty")) << run.screen;
}

}  // namespace
}  // namespace sealrun::apps
