#pragma once
// What the engine makes sure of before it puts a saved copy in place of a file: the file is still the one the
// document was read from, no other run replaces it at the same time, and it has no other names a rename would
// split from it. Copies are created beside the file with no wider permissions than the file's from their first
// byte, and copies left behind by runs that were killed are removed.
#include <sys/types.h>

#include <optional>
#include <string>

namespace sealrun::platform::pdfengine {

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  long long modifiedNs = 0;
  long long changedNs = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file a path names (links followed); nullopt when there is none.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// The file a path names with every symbolic link resolved, so that a replacement lands on the file and the
// link stays; the path itself when it cannot be resolved.
std::string ResolvedPath(const std::string& path);

// An exclusive advisory lock on a file, held from before the identity check to after the rename. Every run of
// this engine takes it before replacing a file, so of two runs that read the same original only the first
// replaces it; the second finds the file changed and fails instead of overwriting the first one's update.
class ReplacementLock {
 public:
  // Locks the file at `path` (waiting a bounded time for another run's replacement to finish) and checks it
  // is still the file described by `read` and has no other hard links. Throws the engine's QP_ERR_SAVE error
  // with the reason otherwise.
  ReplacementLock(const std::string& path, const FileIdentity& read);
  ~ReplacementLock();
  ReplacementLock(const ReplacementLock&) = delete;
  ReplacementLock& operator=(const ReplacementLock&) = delete;

  // Throws as the constructor does when the path no longer names the locked file unchanged (checked again
  // right before the rename: a writer that does not take the lock may have changed it meanwhile).
  void CheckUnchanged() const;

 private:
  int fd_ = -1;
  std::string path_;
  FileIdentity read_;
};

// A new empty file beside `original` (same folder, so the rename stays on one file system), created with the
// original's permission bits (never wider, whatever happens before the rename) and removed when dropped unless
// Keep() was called after it replaced the original.
class CopyBeside {
 public:
  // Throws the engine's QP_ERR_SAVE error when the copy cannot be created.
  explicit CopyBeside(const std::string& original);
  ~CopyBeside();
  CopyBeside(const CopyBeside&) = delete;
  CopyBeside& operator=(const CopyBeside&) = delete;

  const std::string& Path() const { return path_; }
  void Keep() { kept_ = true; }

 private:
  std::string path_;
  bool kept_ = false;
};

// Removes the copies beside files in `folder` whose run is gone (the process that named them no longer exists).
// Copies of runs still going are left alone.
void RemoveStaleCopies(const std::string& folder);

// The folder part of a path ("." when it has none).
std::string FolderOf(const std::string& path);

}  // namespace sealrun::platform::pdfengine
