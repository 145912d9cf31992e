#pragma once
// The stream the engine parses a document file through. A file of up to 32 MiB is read in one go when it is
// opened and every read after that is served from memory: a verification touches object after object all over
// the file, and the engine's own file stream answers each seek with a system call and a 4 KiB read. A larger
// file is read 64 KiB at a time, and seeks that land in what was last read are served from memory.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/pdfengine/Internal.h"

namespace sealrun::platform::pdfengine {

// The opened file as an engine stream (one reference, the caller's). Throws through the engine when the
// file cannot be opened. With a `length` the stream ends there, as if the file did: an earlier revision of
// an incrementally updated file is read that way.
fz_stream* OpenFileStream(fz_context* ctx, const std::string& path, std::int64_t length = -1);

// Reads up to `length` bytes at `offset` of the file behind a stream OpenFileStream made, leaving the stream
// where it is (the engine's parser keeps its place). The count read, short at the end of the file; -1 when
// the stream is another kind or the read fails.
std::int64_t ReadFileAt(fz_stream* stream, std::int64_t offset, unsigned char* buffer, std::size_t length);
// The size of that file, or -1 for another kind of stream.
std::int64_t FileSizeOf(fz_stream* stream);
// The whole file as it was read when it was opened; empty when it was read piece by piece (too large, or
// not all of it could be read at once) or the stream is another kind. It lives as long as the stream.
std::span<const unsigned char> WholeFileOf(fz_stream* stream);

}  // namespace sealrun::platform::pdfengine
