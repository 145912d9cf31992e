#pragma once
// Replacing a file by a finished copy: the copy is flushed to disk, given the original's mode and
// owner, and renamed over it, so a crash leaves either the old file or the new one.
#include <string>

namespace sealrun::platform::pdfengine {

// Flushes `temp`, copies the metadata of `original` onto it, renames it over `original` and flushes
// the folder. On failure `temp` is removed and `original` is untouched; returns false. (The copy comes from
// CopyBeside, the lock and the identity check from ReplacementLock, platform/pdfengine/FileReplacement.h.)
bool CommitReplacement(const std::string& temp, const std::string& original);

// Whether the file may be replaced: it exists and may be written (a read-only file is refused even
// for a user who could rename over it).
bool IsWritable(const std::string& path);

// Removes a leftover copy (ignores errors).
void RemoveQuietly(const std::string& path);

}  // namespace sealrun::platform::pdfengine
