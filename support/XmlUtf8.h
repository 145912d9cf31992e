#pragma once
// A fast path for the common case of a document in valid UTF-8.
#include <optional>
#include <string>
#include <string_view>

namespace sealrun::support {

// The UTF-16 text of `bytes`, or nullopt when they are not valid UTF-8 (overlong forms, surrogates, values past
// U+10FFFF, truncated sequences), leaving the replacement rules to the general converter.
std::optional<std::u16string> DecodeValidUtf8(std::string_view bytes);

}  // namespace sealrun::support
