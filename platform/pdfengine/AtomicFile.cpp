#include "platform/pdfengine/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/pdfengine/FileReplacement.h"

namespace sealrun::platform::pdfengine {
namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

bool IsWritable(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  return (info.st_mode & 0222) != 0 && ::access(path.c_str(), W_OK) == 0;
}

void RemoveQuietly(const std::string& path) { ::unlink(path.c_str()); }

bool CommitReplacement(const std::string& temp, const std::string& original) {
  struct stat originalStat {};
  bool ok = ::stat(original.c_str(), &originalStat) == 0;
  if (ok) {
    Fd fd(::open(temp.c_str(), O_RDWR | O_CLOEXEC));
    ok = fd.Get() >= 0;
    if (ok) {
      // Owner first: changing it may clear set-id bits that the mode then restores.
      if (::fchown(fd.Get(), originalStat.st_uid, originalStat.st_gid) != 0) {
        // Not permitted for a file of another owner: keep the group when possible.
        (void)::fchown(fd.Get(), static_cast<uid_t>(-1), originalStat.st_gid);
      }
      ok = ::fchmod(fd.Get(), originalStat.st_mode & 07777) == 0 && ::fsync(fd.Get()) == 0;
    }
  }
  if (ok) ok = ::rename(temp.c_str(), original.c_str()) == 0;
  if (!ok) {
    RemoveQuietly(temp);
    return false;
  }
  Fd folder(::open(FolderOf(original).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Get() >= 0) (void)::fsync(folder.Get());
  return true;
}

}  // namespace sealrun::platform::pdfengine
