#pragma once
// Paths inside the system are UTF-16 and may be written with "\" (as on Windows) or "/";
// the file system takes UTF-8 with "/".
#include <filesystem>
#include <string>
#include <string_view>

namespace sealrun::platform::fs {

std::filesystem::path PathFromUtf16(std::u16string_view path);
std::u16string PathToUtf16(const std::filesystem::path& path);

// The part after the last "\" or "/".
std::u16string_view FileNameOf(std::u16string_view path);
// The part before the last "\" or "/" (empty when there is none).
std::u16string_view FolderOf(std::u16string_view path);

}  // namespace sealrun::platform::fs
