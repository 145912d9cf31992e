#pragma once
// The 64-byte block bookkeeping that MD5 and SHA-1 share: input is gathered into whole blocks for the
// compression function, and the final padding is the 0x80 byte, zeros, and the bit count in 8 bytes.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace sealrun::support {

enum class LengthOrder { LittleEndian, BigEndian };

// Feeds `bytes` to `compress(blocks, count)`, keeping a partial block in `block` between calls.
template <typename Compress>
void FeedBlocks(std::array<std::uint8_t, 64>& block, std::uint64_t& byteCount, std::span<const std::uint8_t> bytes,
                Compress&& compress) {
  if (bytes.empty()) return;
  const std::uint8_t* in = bytes.data();
  std::size_t length = bytes.size();
  const std::size_t held = byteCount % 64;
  byteCount += length;
  if (held != 0) {
    const std::size_t take = std::min(length, 64 - held);
    std::memcpy(block.data() + held, in, take);
    in += take;
    length -= take;
    if (held + take < 64) return;
    compress(block.data(), std::size_t{1});
  }
  compress(in, length / 64);
  in += length / 64 * 64;
  if (length % 64 != 0) std::memcpy(block.data(), in, length % 64);
}

// The padding that ends a message of `byteCount` bytes, written into `tail`; returns its length.
inline std::size_t FinalPadding(std::uint64_t byteCount, LengthOrder order, std::array<std::uint8_t, 128>& tail) {
  tail.fill(0);
  tail[0] = 0x80;
  const std::uint64_t bitCount = byteCount * 8;
  const std::size_t held = byteCount % 64;
  const std::size_t padLength = (held < 56 ? 56 : 120) - held;
  for (int i = 0; i < 8; ++i) {
    const int shift = order == LengthOrder::LittleEndian ? 8 * i : 56 - 8 * i;
    tail[padLength + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bitCount >> shift);
  }
  return padLength + 8;
}

}  // namespace sealrun::support
