#include "platform/pdfengine/SignatureFile.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <span>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/pdfengine/FileStream.h"

namespace sealrun::platform::pdfengine {
namespace {

// Hex digit values, -1 for any other byte; signature contents are thousands of digits.
constexpr std::array<signed char, 256> kHexValues = [] {
  std::array<signed char, 256> values{};
  values.fill(-1);
  for (int c = '0'; c <= '9'; ++c) values[c] = static_cast<signed char>(c - '0');
  for (int c = 'a'; c <= 'f'; ++c) values[c] = static_cast<signed char>(c - 'a' + 10);
  for (int c = 'A'; c <= 'F'; ++c) values[c] = static_cast<signed char>(c - 'A' + 10);
  return values;
}();

int HexValue(char c) { return kHexValues[static_cast<unsigned char>(c)]; }

bool IsPdfSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == 0; }

// A revision ends with %%EOF, maybe followed by an end of line.
bool EndsRevision(std::string_view file, std::size_t end) {
  std::size_t at = end;
  int eol = 0;
  while (at > 0 && (file[at - 1] == '\n' || file[at - 1] == '\r') && eol < 2) {
    --at;
    ++eol;
  }
  return at >= 5 && file.compare(at - 5, 5, "%%EOF") == 0;
}

}  // namespace

SignedRevision CheckByteRange(std::string_view file, const int64_t range[4]) {
  SignedRevision out;
  for (int i = 0; i < 4; ++i)
    if (range[i] < 0) return out;
  const auto size = static_cast<uint64_t>(file.size());
  const auto start2 = static_cast<uint64_t>(range[2]);
  const auto first = static_cast<uint64_t>(range[0]) + static_cast<uint64_t>(range[1]);
  const uint64_t end = start2 + static_cast<uint64_t>(range[3]);
  if (first < 2 || start2 < first + 2 || end > size || end < start2) return out;
  out.holeStart = static_cast<std::size_t>(first);
  out.holeEnd = static_cast<std::size_t>(start2);
  out.end = static_cast<std::size_t>(end);
  bool hex = file[out.holeStart] == '<' && file[out.holeEnd - 1] == '>';
  for (std::size_t i = out.holeStart + 1; hex && i + 1 < out.holeEnd; ++i)
    hex = HexValue(file[i]) >= 0 || IsPdfSpace(file[i]);
  // The hole must be the value of /Contents, nothing else of the dictionary.
  std::size_t key = out.holeStart;
  while (key > 0 && IsPdfSpace(file[key - 1])) --key;
  out.holeIsContents = hex && key >= 9 && file.compare(key - 9, 9, "/Contents") == 0;
  out.coversRevision = out.holeIsContents && range[0] == 0 && EndsRevision(file, out.end);
  return out;
}

std::string ContentsBytes(std::string_view file, const SignedRevision& revision) {
  std::string out;
  out.reserve((revision.holeEnd - revision.holeStart) / 2);
  int high = -1;
  for (std::size_t i = revision.holeStart + 1; i + 1 < revision.holeEnd; ++i) {
    const int value = HexValue(file[i]);
    if (value < 0) continue;
    if (high < 0) {
      high = value;
    } else {
      out += static_cast<char>(high * 16 + value);
      high = -1;
    }
  }
  if (high >= 0) out += static_cast<char>(high * 16);
  return out;
}

// One read of the known size: signed files are hashed whole, and a read byte by byte through a stream
// iterator cost more than the digest itself.
bool ReadWholeFile(const std::string& path, std::string& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) return false;
  out.resize(static_cast<std::size_t>(info.st_size));
  std::size_t total = 0;
  while (total < out.size()) {
    const ssize_t got = ::read(fd, out.data() + total, out.size() - total);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    total += static_cast<std::size_t>(got);
  }
  // A file that grew since its size was taken is not the file that was measured.
  char more = 0;
  ssize_t extra = 0;
  do {
    extra = ::read(fd, &more, 1);
  } while (extra < 0 && errno == EINTR);
  return extra == 0;
}

std::string_view DocumentFileBytes(qp_document document, std::string& storage) {
  if (document->readLength < 0) {
    const std::span<const unsigned char> whole = WholeFileOf(document->doc->file);
    if (!whole.empty()) return {reinterpret_cast<const char*>(whole.data()), whole.size()};
  }
  if (!ReadWholeFile(document->readPath, storage)) Fail(QP_ERR_ENGINE, "the file cannot be read");
  return storage;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace sealrun::platform::pdfengine
