#pragma once
// The stream the engine parses a document file through: reads of 64 KiB at a time, and seeks that land in
// what was last read are served from memory. Reading a document object by object seeks for every object and
// stream; the engine's own file stream answers each seek with a system call and a 4 KiB read.
#include <cstdint>
#include <string>

#include "platform/pdfengine/Internal.h"

namespace sealrun::platform::pdfengine {

// The opened file as an engine stream (one reference, the caller's). Throws through the engine when the
// file cannot be opened. With a `length` the stream ends there, as if the file did: an earlier revision of
// an incrementally updated file is read that way.
fz_stream* OpenFileStream(fz_context* ctx, const std::string& path, std::int64_t length = -1);

}  // namespace sealrun::platform::pdfengine
