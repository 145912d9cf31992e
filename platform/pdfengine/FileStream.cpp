#include "platform/pdfengine/FileStream.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sealrun::platform::pdfengine {
namespace {

constexpr std::size_t kWindowSize = 64 * 1024;
constexpr std::int64_t kWholeFileLimit = 32 * 1024 * 1024;

// What the engine stream reads through; the stream owns it and Drop lets it go. Its bytes are either the
// whole file (`whole`, read at open) or a window of it (`window`), and `bytes` points at the one in use.
struct FileState {
  FileState() = default;
  FileState(const FileState&) = delete;
  FileState& operator=(const FileState&) = delete;
  ~FileState() {
    if (fd >= 0) ::close(fd);
  }
  int fd = -1;
  std::int64_t fileSize = 0;
  std::unique_ptr<unsigned char[]> whole;
  std::unique_ptr<unsigned char[]> window;
  unsigned char* bytes = nullptr;
  std::int64_t windowStart = 0;  // file offset of bytes[0]
  std::size_t windowLength = 0;  // valid bytes there
};

std::int64_t ReadAt(int fd, std::int64_t offset, unsigned char* buffer, std::size_t length) {
  std::size_t total = 0;
  while (total < length) {
    const ssize_t got = ::pread(fd, buffer + total, length - total, offset + static_cast<std::int64_t>(total));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    total += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(total);
}

int Next(fz_context* ctx, fz_stream* stream, std::size_t) {
  auto* state = static_cast<FileState*>(stream->state);
  std::int64_t got = 0;
  if (state->whole != nullptr) {
    // Everything is in memory: the window is the whole file.
    state->windowStart = 0;
    state->windowLength = static_cast<std::size_t>(state->fileSize);
    got = std::max<std::int64_t>(0, state->fileSize - stream->pos);
  } else {
    const std::int64_t left = state->fileSize - stream->pos;
    const std::size_t wanted = left <= 0 ? 0 : static_cast<std::size_t>(std::min<std::int64_t>(left, kWindowSize));
    do {
      got = wanted == 0 ? 0 : ::pread(state->fd, state->bytes, wanted, stream->pos);
    } while (got < 0 && errno == EINTR);
    if (got < 0) fz_throw(ctx, FZ_ERROR_GENERIC, "read error in document file");
    state->windowStart = stream->pos;
    state->windowLength = static_cast<std::size_t>(got);
  }
  // A read past the end of a file in memory finds nothing left, at the end of its bytes.
  stream->rp = state->bytes + std::min<std::int64_t>(stream->pos - state->windowStart,
                                                     static_cast<std::int64_t>(state->windowLength));
  stream->wp = stream->rp + got;
  stream->pos += got;
  if (got == 0) return EOF;
  return *stream->rp++;
}

void Seek(fz_context* ctx, fz_stream* stream, std::int64_t offset, int whence) {
  auto* state = static_cast<FileState*>(stream->state);
  std::int64_t target = offset;
  if (whence == SEEK_CUR) target += stream->pos - (stream->wp - stream->rp);
  if (whence == SEEK_END) target += state->fileSize;
  if (target < 0) fz_throw(ctx, FZ_ERROR_GENERIC, "seek before the start of the document file");
  const std::int64_t windowEnd = state->windowStart + static_cast<std::int64_t>(state->windowLength);
  if (target >= state->windowStart && target <= windowEnd) {
    // Still in memory: pos stays the file offset of wp.
    stream->rp = state->bytes + (target - state->windowStart);
    stream->wp = state->bytes + state->windowLength;
    stream->pos = windowEnd;
    return;
  }
  // Next reads from here (for a file in memory, `target` lies past its end).
  state->windowStart = target;
  state->windowLength = 0;
  stream->rp = stream->wp = state->bytes;
  stream->pos = target;
}

void Drop(fz_context*, void* state) {
  const std::unique_ptr<FileState> owned(static_cast<FileState*>(state));
}

std::unique_ptr<FileState> OpenState(const std::string& path, std::int64_t length, const char** failure) {
  auto state = std::make_unique<FileState>();
  state->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (state->fd < 0) {
    *failure = "cannot open file";
    return nullptr;
  }
  struct stat info {};
  if (::fstat(state->fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *failure = "not a regular file";
    return nullptr;
  }
  state->fileSize = length >= 0 && length < info.st_size ? length : info.st_size;
  if (state->fileSize > 0 && state->fileSize <= kWholeFileLimit) {
    // Not zeroed first: the read fills every byte or the buffer is let go.
    const auto size = static_cast<std::size_t>(state->fileSize);
    state->whole = std::make_unique_for_overwrite<unsigned char[]>(size);
    if (ReadAt(state->fd, 0, state->whole.get(), size) == state->fileSize) {
      state->bytes = state->whole.get();
      state->windowLength = size;
      return state;
    }
    state->whole.reset();  // cut short while it was read: read piece by piece, as a larger file is
  }
  state->window = std::make_unique_for_overwrite<unsigned char[]>(kWindowSize);
  state->bytes = state->window.get();
  return state;
}

const FileState* StateOf(fz_stream* stream) {
  if (stream == nullptr || stream->next != Next) return nullptr;
  return static_cast<const FileState*>(stream->state);
}

}  // namespace

fz_stream* OpenFileStream(fz_context* ctx, const std::string& path, std::int64_t length) {
  const char* failure = "out of memory";
  FileState* state = nullptr;
  try {
    state = OpenState(path, length, &failure).release();  // the stream made below owns it
  } catch (const std::bad_alloc&) {
    state = nullptr;
  }
  if (state == nullptr) fz_throw(ctx, FZ_ERROR_GENERIC, "%s", failure);
  // fz_new_stream lets the state go itself when it cannot make the stream.
  fz_stream* stream = fz_new_stream(ctx, state, Next, Drop);
  stream->seek = Seek;
  return stream;
}

std::int64_t ReadFileAt(fz_stream* stream, std::int64_t offset, unsigned char* buffer, std::size_t length) {
  const FileState* state = StateOf(stream);
  if (state == nullptr || offset < 0) return -1;
  if (state->whole == nullptr) return ReadAt(state->fd, offset, buffer, length);
  if (offset >= state->fileSize) return 0;
  const std::int64_t left = state->fileSize - offset;
  const auto count = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(length), left));
  std::memcpy(buffer, state->whole.get() + offset, count);
  return static_cast<std::int64_t>(count);
}

std::int64_t FileSizeOf(fz_stream* stream) {
  const FileState* state = StateOf(stream);
  return state == nullptr ? -1 : state->fileSize;
}

std::span<const unsigned char> WholeFileOf(fz_stream* stream) {
  const FileState* state = StateOf(stream);
  if (state == nullptr || state->whole == nullptr) return {};
  return {state->whole.get(), static_cast<std::size_t>(state->fileSize)};
}

}  // namespace sealrun::platform::pdfengine
