#pragma once
// The files a command works on, as the user names them: PDF files, folders (their PDF files, not their
// subfolders) and patterns the shell left unexpanded ("in/*.pdf" in quotes, or on a shell without globs).
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

namespace sealrun::apps {

// Every file once, in the order named (a folder's and a pattern's files sorted by name); or the reason
// the inputs cannot be used: a name that is neither a file nor a folder, a folder that cannot be read, a
// pattern that matches nothing, or nothing at all to work on.
std::variant<std::vector<std::filesystem::path>, std::string> ExpandInputFiles(
    const std::vector<std::filesystem::path>& inputs);

}  // namespace sealrun::apps
