#pragma once
// SHA-1 (FIPS 180-1) with raw and text outputs. One object serves many digests in turn: every output
// resets it to the initial state.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace sealrun::support {

enum class Sha1Output { Raw, Text };

class Sha1 {
 public:
  static constexpr std::size_t kDigestSize = 20;
  using Digest = std::array<std::uint8_t, kDigestSize>;

  Sha1() { Reset(); }

  void Update(std::span<const std::uint8_t> bytes);
  void Update(std::string_view bytes);

  // Raw: out of at least 20 bytes receives the digest; a smaller out makes the call fail with nothing written
  // and the state untouched.
  // Text: out of more than 40 bytes receives 40 upper-case hex digits and a NUL; 29 to 40 bytes receive the 28
  // FingerprintAlphabet symbols of the digest and a NUL; a smaller out is filled with zeros and the digest is
  // dropped. Returns false only for the failing raw call; every other call resets the state.
  bool Final(std::span<std::uint8_t> out, Sha1Output output);
  // The raw digest; the state is then reset.
  Digest Finish();
  void Reset();

 private:
  std::array<std::uint32_t, 5> state_{};
  std::uint64_t byteCount_ = 0;
  std::array<std::uint8_t, 64> block_{};
};

Sha1::Digest Sha1Digest(std::span<const std::uint8_t> bytes);

}  // namespace sealrun::support
