#pragma once
// Byte buffers as the crypto layer takes and gives them. Input is a view (no copy); data that is
// signed or verified may come as several ranges of one file, fed in order.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace sealrun::platform::crypto {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

inline ByteView AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}
inline ByteView AsBytes(const void* data, std::size_t length) {
  return {static_cast<const std::uint8_t*>(data), length};
}
inline std::string_view AsChars(ByteView bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace sealrun::platform::crypto
