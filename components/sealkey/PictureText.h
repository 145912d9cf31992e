#pragma once
// The text form of a seal picture that the key hands out as a header's ImgValue: standard Base64
// (RFC 4648, with padding), turned back into the picture's bytes by DeCodeImgData.
#include <optional>
#include <string>
#include <string_view>

namespace sealrun::components::sealkey {

std::u16string PictureToText(std::string_view bytes);
// The bytes, or nullopt for text that is not Base64 (line breaks and spaces are skipped).
std::optional<std::string> PictureFromText(std::u16string_view text);

}  // namespace sealrun::components::sealkey
