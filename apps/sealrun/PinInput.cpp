#include "apps/sealrun/PinInput.h"

#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>

#include "apps/sealrun/TerminalText.h"

namespace sealrun::apps {
namespace {

// The longest first line read as a PIN; a longer line is no PIN but a wrong file.
constexpr size_t kLongestPin = 1024;

void Wipe(std::string& text) {
  explicit_bzero(text.data(), text.size());
  text.clear();
}

// Reads `fd` up to the end of its first line (or its end), without the line end ("\n" or "\r\n").
// Nullopt with errno set when reading fails; EMSGSIZE when the line is longer than a PIN can be.
std::optional<std::string> ReadFirstLine(int fd) {
  std::string line;
  char c = 0;
  for (;;) {
    const ssize_t got = read(fd, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      Wipe(line);
      return std::nullopt;
    }
    if (got == 0 || c == '\n') break;
    if (line.size() == kLongestPin) {
      Wipe(line);
      errno = EMSGSIZE;
      return std::nullopt;
    }
    line.push_back(c);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// The terminal's echo is off while the PIN is typed. A signal that ends the process meanwhile (Ctrl-C)
// turns it back on first, so the shell is not left without echo.
class EchoOff {
 public:
  explicit EchoOff(int fd) : fd_(fd) {
    if (tcgetattr(fd_, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK);
    quiet.c_lflag |= ECHONL;  // the line end still shows, so the next output starts on a new line
    restoreFd_ = fd_;
    restore_ = saved_;
    struct sigaction action {};
    action.sa_handler = RestoreAndRaise;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &action, &previous_[i]);
    active_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (restoreFd_ < 0) return;
    tcsetattr(fd_, TCSAFLUSH, &saved_);
    for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
    restoreFd_ = -1;
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;
  bool Active() const { return active_; }

 private:
  static constexpr std::array<int, 4> kSignals{SIGINT, SIGTERM, SIGHUP, SIGQUIT};
  // Only async-signal-safe calls: the terminal back as it was, then the signal's own action.
  static void RestoreAndRaise(int number) {
    if (restoreFd_ >= 0) tcsetattr(restoreFd_, TCSANOW, &restore_);
    signal(number, SIG_DFL);
    raise(number);
  }

  inline static volatile sig_atomic_t restoreFd_ = -1;
  inline static termios restore_{};
  int fd_;
  termios saved_{};
  std::array<struct sigaction, kSignals.size()> previous_{};
  bool active_ = false;
};

std::variant<PinText, Refusal> Checked(std::optional<std::string> pin, const std::string& from,
                                       const std::string& noun) {
  if (!pin && errno == EMSGSIZE) return Refusal{"the first line of " + from + " is longer than a " + noun + " can be"};
  if (!pin) return Refusal{"the " + noun + " cannot be read from " + from + ": " + strerror(errno)};
  if (pin->empty()) return Refusal{"the " + noun + " read from " + from + " is empty"};
  return PinText(std::move(*pin));
}

std::variant<PinText, Refusal> Prompted(std::string_view prompt, const std::string& noun) {
  std::optional<std::string> pin;
  {
    // The prompt comes once the echo is off: what is typed after it is never shown.
    const EchoOff quiet(STDIN_FILENO);
    std::fprintf(stderr, "%.*s", static_cast<int>(prompt.size()), prompt.data());
    std::fflush(stderr);
    pin = ReadFirstLine(STDIN_FILENO);
  }
  return Checked(std::move(pin), "the terminal", noun);
}

std::variant<PinText, Refusal> FromFile(const std::filesystem::path& file, const std::string& noun) {
  const std::string name = "the " + noun + " file " + file.string();
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return Refusal{name + " cannot be read: " + strerror(errno)};
  struct stat info {};
  std::optional<std::string> pin;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    errno = S_ISDIR(info.st_mode) ? EISDIR : errno;
  } else {
    pin = ReadFirstLine(fd);
  }
  const int readError = errno;
  close(fd);
  errno = readError;
  if (pin && (info.st_mode & (S_IRWXG | S_IRWXO)) != 0)
    std::fprintf(stderr, "sealrun: %s can be read by other users of this machine (chmod 600 it)\n",
                 TerminalSafe(name).c_str());
  return Checked(std::move(pin), name, noun);
}

}  // namespace

PinText::~PinText() { Wipe(text_); }

PinText::PinText(PinText&& other) noexcept : text_(other.text_) { Wipe(other.text_); }

PinText& PinText::operator=(PinText&& other) noexcept {
  if (this != &other) {
    Wipe(text_);
    text_ = other.text_;
    Wipe(other.text_);
  }
  return *this;
}

bool PinOption::Take(const std::vector<std::string>& arguments, size_t& i, std::string& problem) {
  const std::string& argument = arguments[i];
  const bool isValue = argument == "--" + name_;
  const bool isFile = argument == "--" + name_ + "-file";
  if (!isValue && !isFile) return false;
  if (i + 1 >= arguments.size()) {
    problem = argument + (isValue ? " wants a " + noun_ + ", or - to read it from standard input" : " wants a file");
    return true;
  }
  if (Given()) {
    problem = "--" + name_ + " and --" + name_ + "-file name the same " + noun_ + ": give one of them once";
    return true;
  }
  if (isValue)
    value_ = arguments[++i];
  else
    file_ = arguments[++i];
  return true;
}

std::variant<PinText, Refusal> PinOption::Read(std::string_view prompt) const {
  if (file_) return FromFile(*file_, noun_);
  const bool terminal = isatty(STDIN_FILENO) != 0;
  if (value_ && *value_ != "-") return Checked(*value_, "--" + name_, noun_);
  if (terminal) return Prompted(prompt, noun_);
  if (value_) return Checked(ReadFirstLine(STDIN_FILENO), "standard input", noun_);
  return Refusal{"no " + noun_ + " was given and standard input is not a terminal to ask for it: give --" + name_ +
                 "-file FILE, --" + name_ + " - (standard input) or --" + name_ + " " + (noun_ == "PIN" ? "PIN" : "CODE")};
}

}  // namespace sealrun::apps
