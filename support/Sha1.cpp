#include "support/Sha1.h"

#include <algorithm>
#include <cstring>

#include "support/Alphabets.h"
#include "support/Base64.h"
#include "support/DigestBlocks.h"
#include "support/Sha1Compress.h"

namespace sealrun::support {
namespace {

inline void StoreBe32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

}  // namespace

void Sha1::Reset() {
  state_ = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  byteCount_ = 0;
}

void Sha1::Update(std::span<const std::uint8_t> bytes) {
  FeedBlocks(block_, byteCount_, bytes,
             [this](const std::uint8_t* blocks, std::size_t count) { Sha1Compress(state_, blocks, count); });
}

void Sha1::Update(std::string_view bytes) {
  Update(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

Sha1::Digest Sha1::Finish() {
  std::array<std::uint8_t, 128> tail;
  Update(std::span<const std::uint8_t>(tail.data(), FinalPadding(byteCount_, LengthOrder::BigEndian, tail)));
  Digest digest;
  for (int i = 0; i < 5; ++i) StoreBe32(digest.data() + 4 * i, state_[i]);
  Reset();
  return digest;
}

bool Sha1::Final(std::span<std::uint8_t> out, Sha1Output output) {
  if (output == Sha1Output::Raw) {
    if (out.size() < kDigestSize) return false;
    const Digest digest = Finish();
    std::copy(digest.begin(), digest.end(), out.begin());
    return true;
  }
  if (out.size() > 40) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const Digest digest = Finish();
    for (std::size_t i = 0; i < kDigestSize; ++i) {
      out[2 * i] = static_cast<std::uint8_t>(kHex[digest[i] >> 4]);
      out[2 * i + 1] = static_cast<std::uint8_t>(kHex[digest[i] & 0x0F]);
    }
    out[40] = 0;
  } else if (out.size() >= 29) {
    const Digest digest = Finish();
    const std::size_t written =
        EncodeWithAlphabet(digest, std::span<char>(reinterpret_cast<char*>(out.data()), out.size()), FingerprintAlphabet);
    out[written] = 0;
  } else {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    Reset();
  }
  return true;
}

Sha1::Digest Sha1Digest(std::span<const std::uint8_t> bytes) {
  Sha1 sha1;
  sha1.Update(bytes);
  return sha1.Finish();
}

}  // namespace sealrun::support
