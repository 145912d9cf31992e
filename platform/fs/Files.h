#pragma once
// Whole-file reads and writes with explicit results; nothing here throws.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace sealrun::platform::fs {

// The file's bytes, or nullopt when it cannot be read.
std::optional<std::string> ReadFile(const std::filesystem::path& path);

// Writes the bytes to a new file beside `path`, flushes it to disk and renames it over `path`, so a
// reader (or a crash) sees either the old content or the new, never a mix. Keeps the mode of an
// existing file. When `path` is a symbolic link, the link stays and the file it points to is replaced
// (atomically, in that file's folder). Returns false (leaving `path` untouched) on any failure.
bool ReplaceFileAtomically(const std::filesystem::path& path, std::string_view bytes);

bool FileExists(const std::filesystem::path& path);

// The system's text for the last error number (strerror), for messages.
std::string LastErrorText();

}  // namespace sealrun::platform::fs
