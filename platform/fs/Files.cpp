#include "platform/fs/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace sealrun::platform::fs {
namespace {

// Closes a POSIX descriptor on every path.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return fd_; }
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// The file a path names once the symbolic links of its last component are followed: a link is kept and the
// file it points to is replaced, as a text editor saving through the link does. nullopt for a chain that
// does not end (a loop) or a link that cannot be read.
std::optional<std::filesystem::path> FollowLinks(const std::filesystem::path& path) {
  constexpr int kMaxLinks = 40;  // as the system's own limit on links in a path
  std::filesystem::path current = path;
  for (int hop = 0; hop <= kMaxLinks; ++hop) {
    std::error_code error;
    const auto status = std::filesystem::symlink_status(current, error);
    if (!std::filesystem::is_symlink(status)) return current;  // a file, a folder, or nothing there yet
    const std::filesystem::path target = std::filesystem::read_symlink(current, error);
    if (error) return std::nullopt;
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ReadFile(const std::filesystem::path& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<size_t>(got));
  }
  return bytes;
}

bool ReplaceFileAtomically(const std::filesystem::path& named, std::string_view bytes) {
  const std::optional<std::filesystem::path> followed = FollowLinks(named);
  if (!followed) return false;
  const std::filesystem::path& path = *followed;
  mode_t mode = 0644;
  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0) mode = existing.st_mode & 07777;

  std::random_device random;
  auto temporary = path;
  temporary += ".sealrun-" + std::to_string(random()) + ".tmp";
  FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (fd.Get() < 0) return false;
  const bool written = WriteAll(fd.Get(), bytes) && ::fchmod(fd.Get(), mode) == 0 && ::fsync(fd.Get()) == 0;
  if (!fd.Close() || !written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  // Make the rename itself durable.
  FileDescriptor folder(::open(path.parent_path().empty() ? "." : path.parent_path().c_str(), O_RDONLY | O_DIRECTORY));
  if (folder.Get() >= 0) ::fsync(folder.Get());
  return true;
}

bool FileExists(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

std::string LastErrorText() { return std::strerror(errno); }

}  // namespace sealrun::platform::fs
