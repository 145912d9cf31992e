#pragma once
// MD5 (RFC 1321) and its text output in FingerprintAlphabet symbols.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace sealrun::support {

class Md5 {
 public:
  static constexpr std::size_t kDigestSize = 16;
  using Digest = std::array<std::uint8_t, kDigestSize>;

  Md5() { Reset(); }

  void Update(std::span<const std::uint8_t> bytes);
  void Update(std::string_view bytes);
  // The digest of everything fed since the last reset; the object is then reset.
  Digest Finish();
  void Reset();

 private:
  std::array<std::uint32_t, 4> state_{};
  std::uint64_t byteCount_ = 0;
  std::array<std::uint8_t, 64> block_{};
};

Md5::Digest Md5Digest(std::span<const std::uint8_t> bytes);

// Digests the bytes into out by its size: at least 25 bytes receive the 24 FingerprintAlphabet symbols of the
// digest and a NUL, exactly 16 receive the raw digest, any other size is filled with zeros.
void Md5Text(std::span<const std::uint8_t> bytes, std::span<std::uint8_t> out);
// The 24 FingerprintAlphabet symbols of the digest.
std::string Md5Text(std::string_view bytes);

}  // namespace sealrun::support
