#pragma once
// Stores one value of a personal settings file in place: the root "Brasmoor", the section by name, the
// key by name. The file keeps its encoding and everything else in it; a section or key that is not there
// is not created.
#include <string_view>

namespace sealrun::seal {

// False when the file does not load (nothing is written) or cannot be saved; true otherwise, also when the
// section or key is missing and the file is left as it was.
bool WriteSectionKey(std::u16string_view fileName, std::u16string_view section, std::u16string_view key,
                     std::u16string_view value, std::u16string_view folder);

}  // namespace sealrun::seal
