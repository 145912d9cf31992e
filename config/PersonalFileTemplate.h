#pragma once
// The content a personal settings file is created with when it is missing or cannot be read. Sibling
// products only need the file to exist and parse; none of its keys is read here.
#include <filesystem>
#include <string_view>

namespace sealrun::config {

// EF BB BF followed by exactly 354 bytes of text.
extern const std::string_view kPersonalFileTemplate;

// Writes the template to `path`. An existing file that could not be loaded is kept beside it as
// "<name>.bad" (replacing an older one) rather than overwritten, so nothing a user wrote is lost, and the
// user is told so once (a trace line and a notice).
// False when the file cannot be written (for example, its folder does not exist).
bool WritePersonalFileTemplate(const std::filesystem::path& path);

}  // namespace sealrun::config
