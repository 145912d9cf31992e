#include "platform/pdfengine/FileReplacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <thread>

#include "platform/pdfengine/Internal.h"

namespace sealrun::platform::pdfengine {
namespace {

constexpr std::string_view kCopySuffix = ".saving";
// Another run holds a file while it appends to it (an online signing, with its server exchange, included).
constexpr auto kLockWait = std::chrono::seconds(120);

FileIdentity IdentityFrom(const struct stat& info) {
  FileIdentity identity;
  identity.device = info.st_dev;
  identity.inode = info.st_ino;
  identity.size = info.st_size;
  identity.modifiedNs = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
  identity.changedNs = static_cast<long long>(info.st_ctim.tv_sec) * 1000000000LL + info.st_ctim.tv_nsec;
  return identity;
}

[[noreturn]] void Refuse(const char* why) { Fail(QP_ERR_SAVE, why); }

// The process id a copy's name carries ("<file>.<pid>.<stamp>.<n>.saving"), or 0.
pid_t WriterOf(std::string_view name) {
  if (name.size() <= kCopySuffix.size() || name.substr(name.size() - kCopySuffix.size()) != kCopySuffix) return 0;
  name.remove_suffix(kCopySuffix.size());
  for (int field = 0; field < 2; ++field) {  // the counter, then the stamp
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos) return 0;
    name = name.substr(0, dot);
  }
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos) return 0;
  const std::string digits(name.substr(dot + 1));
  if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
  return static_cast<pid_t>(std::stol(digits));
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return IdentityFrom(info);
}

std::string ResolvedPath(const std::string& path) {
  const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : path;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

ReplacementLock::ReplacementLock(const std::string& path, const FileIdentity& read) : path_(path), read_(read) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd_ < 0) Refuse("the file can no longer be opened");
  const auto giveUp = std::chrono::steady_clock::now() + kLockWait;
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) {
      ::close(fd_);
      Refuse("the file cannot be locked");
    }
    if (std::chrono::steady_clock::now() >= giveUp) {
      ::close(fd_);
      Refuse("another run keeps the file locked");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  try {
    CheckUnchanged();
  } catch (...) {
    ::close(fd_);
    throw;
  }
}

ReplacementLock::~ReplacementLock() {
  if (fd_ >= 0) ::close(fd_);
}

void ReplacementLock::CheckUnchanged() const {
  struct stat locked {};
  struct stat named {};
  if (::fstat(fd_, &locked) != 0 || ::stat(path_.c_str(), &named) != 0) Refuse("the file can no longer be read");
  if (locked.st_dev != named.st_dev || locked.st_ino != named.st_ino || !(IdentityFrom(named) == read_))
    Refuse("the file changed since it was read (another run or program wrote it)");
  // A rename gives one name the new bytes and leaves the others on the old ones.
  if (named.st_nlink > 1) Refuse("the file has other hard links, which a replacement would split from it");
}

CopyBeside::CopyBeside(const std::string& original) {
  static std::atomic<unsigned> counter{0};
  struct stat info {};
  if (::stat(original.c_str(), &info) != 0) Refuse("the file can no longer be read");
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = original + "." + std::to_string(::getpid()) + "." + std::to_string(static_cast<unsigned long long>(stamp)) +
          "." + std::to_string(counter++) + std::string(kCopySuffix);
  // The original's bits for the owner only until the rename gives the copy the original's full mode: a
  // copy left by a killed run is never readable by more people than the file was.
  const mode_t mode = (info.st_mode & 0700) | S_IRUSR | S_IWUSR;
  const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
  if (fd < 0) Refuse("no copy can be created beside the file");
  ::close(fd);
}

CopyBeside::~CopyBeside() {
  if (!kept_) ::unlink(path_.c_str());
}

void RemoveStaleCopies(const std::string& folder) {
  const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) return;
  const int dirFd = ::dirfd(dir.get());
  while (const dirent* entry = ::readdir(dir.get())) {
    const pid_t writer = WriterOf(entry->d_name);
    if (writer <= 0 || writer == ::getpid()) continue;
    // Signal 0 only asks whether the process exists; a process of another user answers EPERM and is alive.
    if (::kill(writer, 0) == 0 || errno != ESRCH) continue;
    struct stat info {};
    if (::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != ::getuid())
      continue;
    ::unlinkat(dirFd, entry->d_name, 0);
  }
}

}  // namespace sealrun::platform::pdfengine
