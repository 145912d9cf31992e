#pragma once
// Changing a sealed file the way a careless editor would: one incremental update, appended through the
// PDF engine, that adds drawing operators to a page's content. Earlier bytes of the file stay as they were.
#include <filesystem>
#include <optional>
#include <string>

namespace sealrun::apps {

// Appends `operators` to the content of page `pageIndex` (zero-based) and saves. The reason when it could
// not be done; then the file is unchanged.
std::optional<std::string> AppendPageContent(const std::filesystem::path& file, int pageIndex,
                                             const std::string& operators);

}  // namespace sealrun::apps
