#include "platform/crypto/PinTries.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace sealrun::platform::crypto {
namespace {

using Clock = std::chrono::system_clock;

constexpr size_t kLargestCounterFile = 4096;

class SystemClock final : public PinTryClock {
 public:
  Clock::time_point Now() override { return Clock::now(); }
  void Wait(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
};

// A descriptor closed when it goes.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

// The key folder locked for this process, exclusively to count, shared to read; released when it goes.
// The lock is taken on the folder itself: the counter file is replaced by a rename, so a lock on it would
// be a lock on a file that is no longer the counter.
class FolderLock {
 public:
  FolderLock(const std::filesystem::path& folder, int how)
      : folder_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (!folder_.Valid()) return;
    int result = 0;
    do {
      result = flock(folder_.Get(), how);
    } while (result != 0 && errno == EINTR);
    locked_ = result == 0;
  }
  bool Held() const { return locked_; }
  int Folder() const { return folder_.Get(); }

 private:
  Descriptor folder_;
  bool locked_ = false;
};

std::optional<long long> Number(std::string_view text) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

// "wrong-pins N", "wrong-unlock-codes N", "last-wrong SECONDS" lines; nullopt when the text is not that.
std::optional<PinTryCount> Parse(std::string_view text) {
  PinTryCount count;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    const size_t space = line.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    const std::string_view name = line.substr(0, space);
    const auto value = Number(line.substr(space + 1));
    if (!value || *value > 1'000'000'000'000LL) return std::nullopt;
    if (name == "wrong-pins")
      count.wrongPins = static_cast<int>(std::min<long long>(*value, 1'000'000));
    else if (name == "wrong-unlock-codes")
      count.wrongUnlockCodes = static_cast<int>(std::min<long long>(*value, 1'000'000));
    else if (name == "last-wrong")
      count.lastWrong = Clock::time_point(std::chrono::seconds(*value));
    else
      return std::nullopt;
  }
  return count;
}

std::string Format(const PinTryCount& count) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(count.lastWrong.time_since_epoch()).count();
  return "wrong-pins " + std::to_string(count.wrongPins) + "\nwrong-unlock-codes " +
         std::to_string(count.wrongUnlockCodes) + "\nlast-wrong " + std::to_string(std::max<long long>(seconds, 0)) +
         "\n";
}

// The counter as the file holds it: none is a count of zero, one that cannot be read a locked key.
PinTryCount ReadCount(const std::filesystem::path& file, const PinTryPolicy& policy) {
  PinTryCount locked;
  locked.wrongPins = policy.lockAfter;
  const Descriptor fd(open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.Valid()) return errno == ENOENT ? PinTryCount{} : locked;
  std::string text(kLargestCounterFile + 1, '\0');
  size_t filled = 0;
  for (;;) {
    const ssize_t got = read(fd.Get(), text.data() + filled, text.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return locked;
    if (got == 0) break;
    filled += static_cast<size_t>(got);
    if (filled == text.size()) return locked;
  }
  text.resize(filled);
  return Parse(text).value_or(locked);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// Replaces the counter through a private temporary file in the same folder: a reader finds the old count or
// the new one, never a part, and after a crash the count is one of the two.
bool WriteCount(const FolderLock& lock, const std::filesystem::path& file, const PinTryCount& count) {
  if (count.wrongPins == 0 && count.wrongUnlockCodes == 0) {
    const bool removed = unlink(file.c_str()) == 0 || errno == ENOENT;
    return removed && fsync(lock.Folder()) == 0;
  }
  std::string temp = (file.parent_path() / ("." + file.filename().string() + ".XXXXXX")).string();
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fchmod(fd, S_IRUSR | S_IWUSR) == 0 && WriteAll(fd, Format(count)) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp.c_str(), file.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok && fsync(lock.Folder()) == 0;
}

}  // namespace

PinTryClock& PinTryClock::System() {
  static SystemClock clock;
  return clock;
}

PinTries::PinTries(std::filesystem::path keyFolder, PinTryPolicy policy, PinTryClock& clock)
    : folder_(std::move(keyFolder)), file_(folder_ / kFileName), policy_(policy), clock_(clock) {}

PinTryCount PinTries::Count() const {
  const FolderLock lock(folder_, LOCK_SH);
  if (!lock.Held()) {
    PinTryCount locked;
    locked.wrongPins = policy_.lockAfter;
    return locked;
  }
  return ReadCount(file_, policy_);
}

int PinTries::TriesLeft() const { return std::max(0, policy_.lockAfter - Count().wrongPins); }

std::chrono::milliseconds PinTries::WaitAfter(int wrongInARow) const {
  if (wrongInARow < policy_.freeTries) return std::chrono::milliseconds(0);
  const int doublings = std::min(wrongInARow - policy_.freeTries, 30);
  const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(policy_.firstWait) * (1LL << doublings);
  return std::min<std::chrono::milliseconds>(wait, policy_.longestWait);
}

PinTryResult PinTries::CheckPin(const std::function<PinMatch()>& check) { return Check(Counted::Pin, check); }

PinTryResult PinTries::CheckUnlockCode(const std::function<PinMatch()>& check) {
  return Check(Counted::UnlockCode, check);
}

PinTryResult PinTries::Check(Counted counted, const std::function<PinMatch()>& check) {
  const FolderLock lock(folder_, LOCK_EX);
  if (!lock.Held()) return PinTryResult::NotCounted;
  const PinTryCount before = ReadCount(file_, policy_);
  const int wrongBefore = counted == Counted::Pin ? before.wrongPins : before.wrongUnlockCodes;
  const int limit = counted == Counted::Pin ? policy_.lockAfter : policy_.unlockTries;
  if (wrongBefore >= limit) return PinTryResult::Locked;

  // The wait runs from the last wrong one, so a caller who waited anyway does not wait twice; a clock set
  // back makes the whole wait.
  const auto wait = WaitAfter(wrongBefore);
  const auto now = clock_.Now();
  const auto since = now >= before.lastWrong ? std::chrono::duration_cast<std::chrono::milliseconds>(now - before.lastWrong)
                                             : std::chrono::milliseconds(0);
  if (since < wait) clock_.Wait(wait - since);

  PinTryCount counting = before;
  (counted == Counted::Pin ? counting.wrongPins : counting.wrongUnlockCodes) += 1;
  counting.lastWrong = clock_.Now();
  if (!WriteCount(lock, file_, counting)) return PinTryResult::NotCounted;

  switch (check()) {
    case PinMatch::Wrong:
      return PinTryResult::Refused;
    case PinMatch::Unchecked:
      WriteCount(lock, file_, before);
      return PinTryResult::Unchecked;
    case PinMatch::Right:
      break;
  }
  // A right PIN clears the wrong PINs but not the wrong unlock codes; a right unlock code clears both.
  PinTryCount cleared;
  if (counted == Counted::Pin) cleared.wrongUnlockCodes = before.wrongUnlockCodes;
  cleared.lastWrong = before.lastWrong;
  WriteCount(lock, file_, cleared);
  return PinTryResult::Accepted;
}

}  // namespace sealrun::platform::crypto
