#include "platform/fs/Paths.h"

#include "platform/text/Utf.h"

namespace sealrun::platform::fs {

std::filesystem::path PathFromUtf16(std::u16string_view path) {
  std::u16string native(path);
  for (auto& c : native)
    if (c == u'\\') c = u'/';
  return std::filesystem::path(text::Utf16ToUtf8(native));
}

std::u16string PathToUtf16(const std::filesystem::path& path) { return text::Utf8ToUtf16(path.string()); }

std::u16string_view FileNameOf(std::u16string_view path) {
  const auto cut = path.find_last_of(u"\\/");
  return cut == std::u16string_view::npos ? path : path.substr(cut + 1);
}

std::u16string_view FolderOf(std::u16string_view path) {
  const auto cut = path.find_last_of(u"\\/");
  return cut == std::u16string_view::npos ? std::u16string_view() : path.substr(0, cut);
}

}  // namespace sealrun::platform::fs
