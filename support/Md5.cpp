#include "support/Md5.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "support/Alphabets.h"
#include "support/Base64.h"
#include "support/DigestBlocks.h"

namespace sealrun::support {
namespace {

inline std::uint32_t LoadLe32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

inline void StoreLe32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

// The round functions in forms with one fewer operation than the RFC's.
struct F {
  static std::uint32_t Apply(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return z ^ (x & (y ^ z)); }
};
struct G {
  static std::uint32_t Apply(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (z & (x ^ y)); }
};
struct H {
  static std::uint32_t Apply(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
};
struct I {
  static std::uint32_t Apply(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }
};

template <typename Round>
inline void Step(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t inputAndConstant,
                 int shift) {
  a += Round::Apply(b, c, d) + inputAndConstant;
  a = std::rotl(a, shift) + b;
}

// Runs the compression function over whole 64-byte blocks, keeping the chaining words in registers.
void Compress(std::array<std::uint32_t, 4>& state, const std::uint8_t* blocks, std::size_t blockCount) {
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blockCount > 0; --blockCount, blocks += 64) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadLe32(blocks + 4 * i);
    const std::uint32_t a0 = a, b0 = b, c0 = c, d0 = d;

    Step<F>(a, b, c, d, x[0] + 0xd76aa478, 7);
    Step<F>(d, a, b, c, x[1] + 0xe8c7b756, 12);
    Step<F>(c, d, a, b, x[2] + 0x242070db, 17);
    Step<F>(b, c, d, a, x[3] + 0xc1bdceee, 22);
    Step<F>(a, b, c, d, x[4] + 0xf57c0faf, 7);
    Step<F>(d, a, b, c, x[5] + 0x4787c62a, 12);
    Step<F>(c, d, a, b, x[6] + 0xa8304613, 17);
    Step<F>(b, c, d, a, x[7] + 0xfd469501, 22);
    Step<F>(a, b, c, d, x[8] + 0x698098d8, 7);
    Step<F>(d, a, b, c, x[9] + 0x8b44f7af, 12);
    Step<F>(c, d, a, b, x[10] + 0xffff5bb1, 17);
    Step<F>(b, c, d, a, x[11] + 0x895cd7be, 22);
    Step<F>(a, b, c, d, x[12] + 0x6b901122, 7);
    Step<F>(d, a, b, c, x[13] + 0xfd987193, 12);
    Step<F>(c, d, a, b, x[14] + 0xa679438e, 17);
    Step<F>(b, c, d, a, x[15] + 0x49b40821, 22);

    Step<G>(a, b, c, d, x[1] + 0xf61e2562, 5);
    Step<G>(d, a, b, c, x[6] + 0xc040b340, 9);
    Step<G>(c, d, a, b, x[11] + 0x265e5a51, 14);
    Step<G>(b, c, d, a, x[0] + 0xe9b6c7aa, 20);
    Step<G>(a, b, c, d, x[5] + 0xd62f105d, 5);
    Step<G>(d, a, b, c, x[10] + 0x02441453, 9);
    Step<G>(c, d, a, b, x[15] + 0xd8a1e681, 14);
    Step<G>(b, c, d, a, x[4] + 0xe7d3fbc8, 20);
    Step<G>(a, b, c, d, x[9] + 0x21e1cde6, 5);
    Step<G>(d, a, b, c, x[14] + 0xc33707d6, 9);
    Step<G>(c, d, a, b, x[3] + 0xf4d50d87, 14);
    Step<G>(b, c, d, a, x[8] + 0x455a14ed, 20);
    Step<G>(a, b, c, d, x[13] + 0xa9e3e905, 5);
    Step<G>(d, a, b, c, x[2] + 0xfcefa3f8, 9);
    Step<G>(c, d, a, b, x[7] + 0x676f02d9, 14);
    Step<G>(b, c, d, a, x[12] + 0x8d2a4c8a, 20);

    Step<H>(a, b, c, d, x[5] + 0xfffa3942, 4);
    Step<H>(d, a, b, c, x[8] + 0x8771f681, 11);
    Step<H>(c, d, a, b, x[11] + 0x6d9d6122, 16);
    Step<H>(b, c, d, a, x[14] + 0xfde5380c, 23);
    Step<H>(a, b, c, d, x[1] + 0xa4beea44, 4);
    Step<H>(d, a, b, c, x[4] + 0x4bdecfa9, 11);
    Step<H>(c, d, a, b, x[7] + 0xf6bb4b60, 16);
    Step<H>(b, c, d, a, x[10] + 0xbebfbc70, 23);
    Step<H>(a, b, c, d, x[13] + 0x289b7ec6, 4);
    Step<H>(d, a, b, c, x[0] + 0xeaa127fa, 11);
    Step<H>(c, d, a, b, x[3] + 0xd4ef3085, 16);
    Step<H>(b, c, d, a, x[6] + 0x04881d05, 23);
    Step<H>(a, b, c, d, x[9] + 0xd9d4d039, 4);
    Step<H>(d, a, b, c, x[12] + 0xe6db99e5, 11);
    Step<H>(c, d, a, b, x[15] + 0x1fa27cf8, 16);
    Step<H>(b, c, d, a, x[2] + 0xc4ac5665, 23);

    Step<I>(a, b, c, d, x[0] + 0xf4292244, 6);
    Step<I>(d, a, b, c, x[7] + 0x432aff97, 10);
    Step<I>(c, d, a, b, x[14] + 0xab9423a7, 15);
    Step<I>(b, c, d, a, x[5] + 0xfc93a039, 21);
    Step<I>(a, b, c, d, x[12] + 0x655b59c3, 6);
    Step<I>(d, a, b, c, x[3] + 0x8f0ccc92, 10);
    Step<I>(c, d, a, b, x[10] + 0xffeff47d, 15);
    Step<I>(b, c, d, a, x[1] + 0x85845dd1, 21);
    Step<I>(a, b, c, d, x[8] + 0x6fa87e4f, 6);
    Step<I>(d, a, b, c, x[15] + 0xfe2ce6e0, 10);
    Step<I>(c, d, a, b, x[6] + 0xa3014314, 15);
    Step<I>(b, c, d, a, x[13] + 0x4e0811a1, 21);
    Step<I>(a, b, c, d, x[4] + 0xf7537e82, 6);
    Step<I>(d, a, b, c, x[11] + 0xbd3af235, 10);
    Step<I>(c, d, a, b, x[2] + 0x2ad7d2bb, 15);
    Step<I>(b, c, d, a, x[9] + 0xeb86d391, 21);

    a += a0;
    b += b0;
    c += c0;
    d += d0;
  }
  state = {a, b, c, d};
}

}  // namespace

void Md5::Reset() {
  state_ = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  byteCount_ = 0;
}

void Md5::Update(std::span<const std::uint8_t> bytes) {
  FeedBlocks(block_, byteCount_, bytes,
             [this](const std::uint8_t* blocks, std::size_t count) { Compress(state_, blocks, count); });
}

void Md5::Update(std::string_view bytes) {
  Update(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

Md5::Digest Md5::Finish() {
  std::array<std::uint8_t, 128> tail;
  Update(std::span<const std::uint8_t>(tail.data(), FinalPadding(byteCount_, LengthOrder::LittleEndian, tail)));
  Digest digest;
  for (int i = 0; i < 4; ++i) StoreLe32(digest.data() + 4 * i, state_[i]);
  Reset();
  return digest;
}

Md5::Digest Md5Digest(std::span<const std::uint8_t> bytes) {
  Md5 md5;
  md5.Update(bytes);
  return md5.Finish();
}

void Md5Text(std::span<const std::uint8_t> bytes, std::span<std::uint8_t> out) {
  if (out.size() >= 25) {
    const Md5::Digest digest = Md5Digest(bytes);
    const std::size_t written =
        EncodeWithAlphabet(digest, std::span<char>(reinterpret_cast<char*>(out.data()), out.size()), FingerprintAlphabet);
    out[written] = 0;
  } else if (out.size() == Md5::kDigestSize) {
    const Md5::Digest digest = Md5Digest(bytes);
    std::copy(digest.begin(), digest.end(), out.begin());
  } else {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
  }
}

std::string Md5Text(std::string_view bytes) {
  std::array<std::uint8_t, 25> out{};
  Md5Text(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), out);
  return std::string(reinterpret_cast<const char*>(out.data()), 24);
}

}  // namespace sealrun::support
