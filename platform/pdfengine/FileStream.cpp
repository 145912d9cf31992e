#include "platform/pdfengine/FileStream.h"

#include <cerrno>
#include <cstdint>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sealrun::platform::pdfengine {
namespace {

constexpr std::size_t kWindowSize = 64 * 1024;

// Owned by the engine stream (allocated with the engine's allocator, freed by Drop).
struct FileWindow {
  int fd = -1;
  std::int64_t fileSize = 0;
  std::int64_t windowStart = 0;  // file offset of buffer[0]
  std::size_t windowLength = 0;  // valid bytes in buffer
  unsigned char buffer[kWindowSize];
};

int Next(fz_context* ctx, fz_stream* stream, std::size_t) {
  auto* window = static_cast<FileWindow*>(stream->state);
  ssize_t got = 0;
  const std::int64_t left = window->fileSize - stream->pos;
  const std::size_t wanted =
      left <= 0 ? 0 : left < static_cast<std::int64_t>(kWindowSize) ? static_cast<std::size_t>(left) : kWindowSize;
  do {
    got = wanted == 0 ? 0 : ::pread(window->fd, window->buffer, wanted, stream->pos);
  } while (got < 0 && errno == EINTR);
  if (got < 0) fz_throw(ctx, FZ_ERROR_GENERIC, "read error in document file");
  window->windowStart = stream->pos;
  window->windowLength = static_cast<std::size_t>(got);
  stream->rp = window->buffer;
  stream->wp = window->buffer + got;
  stream->pos += got;
  if (got == 0) return EOF;
  return *stream->rp++;
}

void Seek(fz_context* ctx, fz_stream* stream, std::int64_t offset, int whence) {
  auto* window = static_cast<FileWindow*>(stream->state);
  std::int64_t target = offset;
  if (whence == SEEK_CUR) target += stream->pos - (stream->wp - stream->rp);
  if (whence == SEEK_END) target += window->fileSize;
  if (target < 0) fz_throw(ctx, FZ_ERROR_GENERIC, "seek before the start of the document file");
  const std::int64_t windowEnd = window->windowStart + static_cast<std::int64_t>(window->windowLength);
  if (target >= window->windowStart && target <= windowEnd) {
    // Still in memory: pos stays the file offset of wp.
    stream->rp = window->buffer + (target - window->windowStart);
    stream->wp = window->buffer + window->windowLength;
    stream->pos = windowEnd;
    return;
  }
  window->windowStart = target;
  window->windowLength = 0;
  stream->rp = stream->wp = window->buffer;
  stream->pos = target;
}

void Drop(fz_context* ctx, void* state) {
  auto* window = static_cast<FileWindow*>(state);
  ::close(window->fd);
  fz_free(ctx, window);
}

}  // namespace

fz_stream* OpenFileStream(fz_context* ctx, const std::string& path, std::int64_t length) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fz_throw(ctx, FZ_ERROR_GENERIC, "cannot open file");
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    fz_throw(ctx, FZ_ERROR_GENERIC, "not a regular file");
  }
  FileWindow* window = nullptr;
  fz_var(window);
  fz_try(ctx) { window = static_cast<FileWindow*>(fz_malloc(ctx, sizeof(FileWindow))); }
  fz_catch(ctx) {
    ::close(fd);
    fz_rethrow(ctx);
  }
  window->fd = fd;
  window->fileSize = length >= 0 && length < info.st_size ? length : info.st_size;
  window->windowStart = 0;
  window->windowLength = 0;
  fz_stream* stream = nullptr;
  fz_var(stream);
  fz_try(ctx) { stream = fz_new_stream(ctx, window, Next, Drop); }
  fz_catch(ctx) {
    Drop(ctx, window);
    fz_rethrow(ctx);
  }
  stream->seek = Seek;
  return stream;
}

std::int64_t ReadFileAt(fz_stream* stream, std::int64_t offset, unsigned char* buffer, std::size_t length) {
  if (stream == nullptr || stream->next != Next || offset < 0) return -1;
  const auto* window = static_cast<const FileWindow*>(stream->state);
  std::size_t total = 0;
  while (total < length) {
    const ssize_t got = ::pread(window->fd, buffer + total, length - total, offset + static_cast<std::int64_t>(total));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    total += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(total);
}

std::int64_t FileSizeOf(fz_stream* stream) {
  if (stream == nullptr || stream->next != Next) return -1;
  return static_cast<const FileWindow*>(stream->state)->fileSize;
}

}  // namespace sealrun::platform::pdfengine
