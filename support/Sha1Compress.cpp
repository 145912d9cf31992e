#include "support/Sha1Compress.h"

#include <bit>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define SEALRUN_SHA1_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace sealrun::support {
namespace {

inline std::uint32_t LoadBe32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
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

}  // namespace

// Every round written out and the chaining words renamed instead of moved.
void Sha1CompressPortable(std::array<std::uint32_t, 5>& state, const std::uint8_t* blocks, std::size_t blockCount) {
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

namespace {

#if SEALRUN_SHA1_X86

bool CpuHasShaExtensions() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
  const bool ssse3 = (ecx & (1u << 9)) != 0, sse41 = (ecx & (1u << 19)) != 0;
  if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return false;
  return ssse3 && sse41 && (ebx & (1u << 29)) != 0;
}

// The same compression on the CPU's SHA instructions: four rounds per instruction, the message schedule on
// sha1msg1/sha1msg2. The state is held as ABCD in one register (A in the top lane) and E in the top lane of another.
__attribute__((target("sha,sse4.1,ssse3"))) void CompressWithShaExtensions(std::array<std::uint32_t, 5>& state,
                                                                          const std::uint8_t* blocks,
                                                                          std::size_t blockCount) {
  const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state.data())), 0x1B);
  __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
  for (; blockCount > 0; --blockCount, blocks += 64) {
    const __m128i abcdSave = abcd, e0Save = e0;
    __m128i m0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks)), byteSwap);
    __m128i m1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16)), byteSwap);
    __m128i m2 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 32)), byteSwap);
    __m128i m3 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 48)), byteSwap);
    __m128i e, abcdPrevious;

    e = _mm_add_epi32(e0, m0);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 0);
    e = _mm_sha1nexte_epu32(abcdPrevious, m1);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 0);
    e = _mm_sha1nexte_epu32(abcdPrevious, m2);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 0);
    e = _mm_sha1nexte_epu32(abcdPrevious, m3);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 0);
    m0 = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(m0, m1), m2), m3);
    e = _mm_sha1nexte_epu32(abcdPrevious, m0);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 0);
    m1 = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(m1, m2), m3), m0);
    e = _mm_sha1nexte_epu32(abcdPrevious, m1);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 1);
    m2 = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(m2, m3), m0), m1);
    e = _mm_sha1nexte_epu32(abcdPrevious, m2);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 1);
    m3 = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(m3, m0), m1), m2);
    e = _mm_sha1nexte_epu32(abcdPrevious, m3);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 1);
    m0 = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(m0, m1), m2), m3);
    e = _mm_sha1nexte_epu32(abcdPrevious, m0);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 1);
    m1 = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(m1, m2), m3), m0);
    e = _mm_sha1nexte_epu32(abcdPrevious, m1);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 1);
    m2 = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(m2, m3), m0), m1);
    e = _mm_sha1nexte_epu32(abcdPrevious, m2);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 2);
    m3 = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(m3, m0), m1), m2);
    e = _mm_sha1nexte_epu32(abcdPrevious, m3);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 2);
    m0 = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(m0, m1), m2), m3);
    e = _mm_sha1nexte_epu32(abcdPrevious, m0);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 2);
    m1 = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(m1, m2), m3), m0);
    e = _mm_sha1nexte_epu32(abcdPrevious, m1);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 2);
    m2 = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(m2, m3), m0), m1);
    e = _mm_sha1nexte_epu32(abcdPrevious, m2);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 2);
    m3 = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(m3, m0), m1), m2);
    e = _mm_sha1nexte_epu32(abcdPrevious, m3);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 3);
    m0 = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(m0, m1), m2), m3);
    e = _mm_sha1nexte_epu32(abcdPrevious, m0);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 3);
    m1 = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(m1, m2), m3), m0);
    e = _mm_sha1nexte_epu32(abcdPrevious, m1);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 3);
    m2 = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(m2, m3), m0), m1);
    e = _mm_sha1nexte_epu32(abcdPrevious, m2);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 3);
    m3 = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(m3, m0), m1), m2);
    e = _mm_sha1nexte_epu32(abcdPrevious, m3);
    abcdPrevious = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, e, 3);

    e0 = _mm_sha1nexte_epu32(abcdPrevious, e0Save);
    abcd = _mm_add_epi32(abcd, abcdSave);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state.data()), _mm_shuffle_epi32(abcd, 0x1B));
  state[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e0, 3));
}

#endif

}  // namespace

bool Sha1HasHardwareCompress() {
#if SEALRUN_SHA1_X86
  static const bool available = CpuHasShaExtensions();
  return available;
#else
  return false;
#endif
}

void Sha1CompressHardware(std::array<std::uint32_t, 5>& state, const std::uint8_t* blocks, std::size_t blockCount) {
#if SEALRUN_SHA1_X86
  if (Sha1HasHardwareCompress()) return CompressWithShaExtensions(state, blocks, blockCount);
#endif
  Sha1CompressPortable(state, blocks, blockCount);
}

void Sha1Compress(std::array<std::uint32_t, 5>& state, const std::uint8_t* blocks, std::size_t blockCount) {
  Sha1CompressHardware(state, blocks, blockCount);
}

}  // namespace sealrun::support
