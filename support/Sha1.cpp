#include "support/Sha1.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "support/Alphabets.h"
#include "support/Base64.h"

namespace sealrun::support {
namespace {

inline std::uint32_t LoadBe32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

inline void StoreBe32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

struct Choose {
  static std::uint32_t Apply(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return z ^ (x & (y ^ z)); }
};
struct Parity {
  static std::uint32_t Apply(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
};
struct Majority {
  // Two terms with no common bit, so they add; the addition lets the two halves run in parallel.
  static std::uint32_t Apply(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & y) + (z & (x ^ y)); }
};

template <typename Function, std::uint32_t kConstant>
inline void Round(std::uint32_t a, std::uint32_t& b, std::uint32_t c, std::uint32_t d, std::uint32_t& e,
                  std::uint32_t word) {
  e += std::rotl(a, 5) + Function::Apply(b, c, d) + word + kConstant;
  b = std::rotl(b, 30);
}

// The message schedule kept as a ring of 16 words.
inline std::uint32_t Expand(std::uint32_t* w, int i) {
  const std::uint32_t word = std::rotl(w[(i + 13) & 15] ^ w[(i + 8) & 15] ^ w[(i + 2) & 15] ^ w[i & 15], 1);
  w[i & 15] = word;
  return word;
}

// Runs the compression function over whole 64-byte blocks, every round written out and the chaining words
// renamed instead of moved.
void Compress(std::array<std::uint32_t, 5>& state, const std::uint8_t* blocks, std::size_t blockCount) {
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
  for (; blockCount > 0; --blockCount, blocks += 64) {
    std::uint32_t w[16];
    for (int i = 0; i < 16; ++i) w[i] = LoadBe32(blocks + 4 * i);
    const std::uint32_t a0 = a, b0 = b, c0 = c, d0 = d, e0 = e;

    Round<Choose, 0x5A827999>(a, b, c, d, e, w[0]);
    Round<Choose, 0x5A827999>(e, a, b, c, d, w[1]);
    Round<Choose, 0x5A827999>(d, e, a, b, c, w[2]);
    Round<Choose, 0x5A827999>(c, d, e, a, b, w[3]);
    Round<Choose, 0x5A827999>(b, c, d, e, a, w[4]);
    Round<Choose, 0x5A827999>(a, b, c, d, e, w[5]);
    Round<Choose, 0x5A827999>(e, a, b, c, d, w[6]);
    Round<Choose, 0x5A827999>(d, e, a, b, c, w[7]);
    Round<Choose, 0x5A827999>(c, d, e, a, b, w[8]);
    Round<Choose, 0x5A827999>(b, c, d, e, a, w[9]);
    Round<Choose, 0x5A827999>(a, b, c, d, e, w[10]);
    Round<Choose, 0x5A827999>(e, a, b, c, d, w[11]);
    Round<Choose, 0x5A827999>(d, e, a, b, c, w[12]);
    Round<Choose, 0x5A827999>(c, d, e, a, b, w[13]);
    Round<Choose, 0x5A827999>(b, c, d, e, a, w[14]);
    Round<Choose, 0x5A827999>(a, b, c, d, e, w[15]);
    Round<Choose, 0x5A827999>(e, a, b, c, d, Expand(w, 16));
    Round<Choose, 0x5A827999>(d, e, a, b, c, Expand(w, 17));
    Round<Choose, 0x5A827999>(c, d, e, a, b, Expand(w, 18));
    Round<Choose, 0x5A827999>(b, c, d, e, a, Expand(w, 19));
    Round<Parity, 0x6ED9EBA1>(a, b, c, d, e, Expand(w, 20));
    Round<Parity, 0x6ED9EBA1>(e, a, b, c, d, Expand(w, 21));
    Round<Parity, 0x6ED9EBA1>(d, e, a, b, c, Expand(w, 22));
    Round<Parity, 0x6ED9EBA1>(c, d, e, a, b, Expand(w, 23));
    Round<Parity, 0x6ED9EBA1>(b, c, d, e, a, Expand(w, 24));
    Round<Parity, 0x6ED9EBA1>(a, b, c, d, e, Expand(w, 25));
    Round<Parity, 0x6ED9EBA1>(e, a, b, c, d, Expand(w, 26));
    Round<Parity, 0x6ED9EBA1>(d, e, a, b, c, Expand(w, 27));
    Round<Parity, 0x6ED9EBA1>(c, d, e, a, b, Expand(w, 28));
    Round<Parity, 0x6ED9EBA1>(b, c, d, e, a, Expand(w, 29));
    Round<Parity, 0x6ED9EBA1>(a, b, c, d, e, Expand(w, 30));
    Round<Parity, 0x6ED9EBA1>(e, a, b, c, d, Expand(w, 31));
    Round<Parity, 0x6ED9EBA1>(d, e, a, b, c, Expand(w, 32));
    Round<Parity, 0x6ED9EBA1>(c, d, e, a, b, Expand(w, 33));
    Round<Parity, 0x6ED9EBA1>(b, c, d, e, a, Expand(w, 34));
    Round<Parity, 0x6ED9EBA1>(a, b, c, d, e, Expand(w, 35));
    Round<Parity, 0x6ED9EBA1>(e, a, b, c, d, Expand(w, 36));
    Round<Parity, 0x6ED9EBA1>(d, e, a, b, c, Expand(w, 37));
    Round<Parity, 0x6ED9EBA1>(c, d, e, a, b, Expand(w, 38));
    Round<Parity, 0x6ED9EBA1>(b, c, d, e, a, Expand(w, 39));
    Round<Majority, 0x8F1BBCDC>(a, b, c, d, e, Expand(w, 40));
    Round<Majority, 0x8F1BBCDC>(e, a, b, c, d, Expand(w, 41));
    Round<Majority, 0x8F1BBCDC>(d, e, a, b, c, Expand(w, 42));
    Round<Majority, 0x8F1BBCDC>(c, d, e, a, b, Expand(w, 43));
    Round<Majority, 0x8F1BBCDC>(b, c, d, e, a, Expand(w, 44));
    Round<Majority, 0x8F1BBCDC>(a, b, c, d, e, Expand(w, 45));
    Round<Majority, 0x8F1BBCDC>(e, a, b, c, d, Expand(w, 46));
    Round<Majority, 0x8F1BBCDC>(d, e, a, b, c, Expand(w, 47));
    Round<Majority, 0x8F1BBCDC>(c, d, e, a, b, Expand(w, 48));
    Round<Majority, 0x8F1BBCDC>(b, c, d, e, a, Expand(w, 49));
    Round<Majority, 0x8F1BBCDC>(a, b, c, d, e, Expand(w, 50));
    Round<Majority, 0x8F1BBCDC>(e, a, b, c, d, Expand(w, 51));
    Round<Majority, 0x8F1BBCDC>(d, e, a, b, c, Expand(w, 52));
    Round<Majority, 0x8F1BBCDC>(c, d, e, a, b, Expand(w, 53));
    Round<Majority, 0x8F1BBCDC>(b, c, d, e, a, Expand(w, 54));
    Round<Majority, 0x8F1BBCDC>(a, b, c, d, e, Expand(w, 55));
    Round<Majority, 0x8F1BBCDC>(e, a, b, c, d, Expand(w, 56));
    Round<Majority, 0x8F1BBCDC>(d, e, a, b, c, Expand(w, 57));
    Round<Majority, 0x8F1BBCDC>(c, d, e, a, b, Expand(w, 58));
    Round<Majority, 0x8F1BBCDC>(b, c, d, e, a, Expand(w, 59));
    Round<Parity, 0xCA62C1D6>(a, b, c, d, e, Expand(w, 60));
    Round<Parity, 0xCA62C1D6>(e, a, b, c, d, Expand(w, 61));
    Round<Parity, 0xCA62C1D6>(d, e, a, b, c, Expand(w, 62));
    Round<Parity, 0xCA62C1D6>(c, d, e, a, b, Expand(w, 63));
    Round<Parity, 0xCA62C1D6>(b, c, d, e, a, Expand(w, 64));
    Round<Parity, 0xCA62C1D6>(a, b, c, d, e, Expand(w, 65));
    Round<Parity, 0xCA62C1D6>(e, a, b, c, d, Expand(w, 66));
    Round<Parity, 0xCA62C1D6>(d, e, a, b, c, Expand(w, 67));
    Round<Parity, 0xCA62C1D6>(c, d, e, a, b, Expand(w, 68));
    Round<Parity, 0xCA62C1D6>(b, c, d, e, a, Expand(w, 69));
    Round<Parity, 0xCA62C1D6>(a, b, c, d, e, Expand(w, 70));
    Round<Parity, 0xCA62C1D6>(e, a, b, c, d, Expand(w, 71));
    Round<Parity, 0xCA62C1D6>(d, e, a, b, c, Expand(w, 72));
    Round<Parity, 0xCA62C1D6>(c, d, e, a, b, Expand(w, 73));
    Round<Parity, 0xCA62C1D6>(b, c, d, e, a, Expand(w, 74));
    Round<Parity, 0xCA62C1D6>(a, b, c, d, e, Expand(w, 75));
    Round<Parity, 0xCA62C1D6>(e, a, b, c, d, Expand(w, 76));
    Round<Parity, 0xCA62C1D6>(d, e, a, b, c, Expand(w, 77));
    Round<Parity, 0xCA62C1D6>(c, d, e, a, b, Expand(w, 78));
    Round<Parity, 0xCA62C1D6>(b, c, d, e, a, Expand(w, 79));

    a += a0;
    b += b0;
    c += c0;
    d += d0;
    e += e0;
  }
  state = {a, b, c, d, e};
}

}  // namespace

void Sha1::Reset() {
  state_ = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  byteCount_ = 0;
}

void Sha1::Update(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  const std::uint8_t* in = bytes.data();
  std::size_t length = bytes.size();
  const std::size_t held = byteCount_ % 64;
  byteCount_ += length;
  if (held != 0) {
    const std::size_t take = std::min(length, 64 - held);
    std::memcpy(block_.data() + held, in, take);
    in += take;
    length -= take;
    if (held + take < 64) return;
    Compress(state_, block_.data(), 1);
  }
  Compress(state_, in, length / 64);
  in += length / 64 * 64;
  if (length % 64 != 0) std::memcpy(block_.data(), in, length % 64);
}

void Sha1::Update(std::string_view bytes) {
  Update(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

Sha1::Digest Sha1::Finish() {
  const std::uint64_t bitCount = byteCount_ * 8;
  std::uint8_t tail[128] = {0x80};
  const std::size_t held = byteCount_ % 64;
  const std::size_t padLength = (held < 56 ? 56 : 120) - held;
  for (int i = 0; i < 8; ++i) tail[padLength + i] = static_cast<std::uint8_t>(bitCount >> (56 - 8 * i));
  Update(std::span<const std::uint8_t>(tail, padLength + 8));
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
