#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/Alphabets.h"
#include "support/Base64.h"
#include "support/Md5.h"
#include "support/Sha1.h"
#include "support/Sha1Compress.h"

namespace sealrun::support {
namespace {

std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

template <std::size_t N>
std::string Hex(const std::array<std::uint8_t, N>& digest) {
  std::string hex;
  for (std::uint8_t byte : digest) hex += "0123456789abcdef"[byte >> 4], hex += "0123456789abcdef"[byte & 15];
  return hex;
}

std::string FingerprintText(std::span<const std::uint8_t> digest) {
  std::string out(digest.size() * 2, '\0');
  out.resize(EncodeWithAlphabet(digest, out, FingerprintAlphabet));
  return out;
}

TEST(Md5, Rfc1321TestSuite) {
  struct Vector {
    std::string_view message, digest;
  };
  // RFC 1321, appendix A.5.
  constexpr Vector kVectors[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"}};
  for (const auto& [message, digest] : kVectors) {
    EXPECT_EQ(Hex(Md5Digest(AsBytes(message))), digest) << "RFC 1321 \"" << message << "\"";
  }
}

TEST(Md5, TextOutputFollowsTheOutputSize) {
  const auto digest = Md5Digest(AsBytes("abc"));
  std::array<std::uint8_t, 30> out;
  out.fill(0xAA);
  Md5Text(AsBytes("abc"), out);
  const std::string text(reinterpret_cast<const char*>(out.data()), 24);
  EXPECT_EQ(text, FingerprintText(digest)) << "25 or more: 24 symbols";
  EXPECT_EQ(text.substr(22), std::string(2, FingerprintAlphabet.Pad())) << "16 bytes end in two pads";
  EXPECT_EQ(out[24], 0) << "then NUL";
  EXPECT_EQ(out[25], 0xAA) << "and nothing more";

  std::array<std::uint8_t, 16> raw{};
  Md5Text(AsBytes("abc"), raw);
  EXPECT_EQ(raw, digest) << "exactly 16: the raw digest";

  for (std::size_t size : {0, 15, 17, 24}) {
    std::vector<std::uint8_t> other(size, 0xAA);
    Md5Text(AsBytes("abc"), other);
    EXPECT_EQ(other, std::vector<std::uint8_t>(size, 0)) << "size " << size << " is filled with zeros";
  }
}

// FIPS 180-1 appendices A and B (RFC 3174 test cases 1 and 2), and appendix C.
TEST(Sha1, Fips180VectorsAsHexText) {
  const std::string millionA(1'000'000, 'a');
  struct Vector {
    std::string_view label, message, hex;
  };
  const Vector vectors[] = {
      {"abc", "abc", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
      {"448-bit message", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
      {"one million a", millionA, "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"},
      {"empty", "", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"}};
  Sha1 sha1;  // one object for every digest: each output resets it
  for (const auto& [label, message, hex] : vectors) {
    for (std::size_t at = 0; at < message.size(); at += 999) sha1.Update(message.substr(at, 999));
    std::array<std::uint8_t, 41> out;
    out.fill(0xAA);
    ASSERT_TRUE(sha1.Final(out, Sha1Output::Text)) << label;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data())), hex) << label;
  }
}

TEST(Sha1, TextOutputFollowsTheOutputSize) {
  const auto digest = Sha1Digest(AsBytes("abc"));
  Sha1 sha1;
  for (std::size_t size : {29, 40}) {
    std::vector<std::uint8_t> out(size, 0xAA);
    sha1.Update("abc");
    ASSERT_TRUE(sha1.Final(out, Sha1Output::Text));
    const std::string text(reinterpret_cast<const char*>(out.data()), 28);
    EXPECT_EQ(text, FingerprintText(digest)) << "size " << size << ": 28 symbols";
    EXPECT_EQ(text.back(), FingerprintAlphabet.Pad()) << "20 bytes end in one pad";
    EXPECT_EQ(out[28], 0) << "size " << size;
    if (size > 29) {
      EXPECT_EQ(out[29], 0xAA) << "nothing written after the NUL";
    }
  }

  // Below 29 bytes: zeros, and the running digest is dropped.
  std::vector<std::uint8_t> small(28, 0xAA);
  sha1.Update("abc");
  ASSERT_TRUE(sha1.Final(small, Sha1Output::Text));
  EXPECT_EQ(small, std::vector<std::uint8_t>(28, 0));
  std::array<std::uint8_t, 20> raw{};
  ASSERT_TRUE(sha1.Final(raw, Sha1Output::Raw));
  EXPECT_EQ(raw, Sha1Digest({})) << "state was reset to the initial state";
}

TEST(Sha1, RawOutputTooSmallFailsAndKeepsTheState) {
  Sha1 sha1;
  sha1.Update("ab");
  std::vector<std::uint8_t> tooSmall(19, 0xAA);
  EXPECT_FALSE(sha1.Final(tooSmall, Sha1Output::Raw));
  EXPECT_EQ(tooSmall, std::vector<std::uint8_t>(19, 0xAA)) << "nothing written";
  sha1.Update("c");
  std::vector<std::uint8_t> out(24, 0xAA);
  ASSERT_TRUE(sha1.Final(out, Sha1Output::Raw));
  const auto abc = Sha1Digest(AsBytes("abc"));
  EXPECT_TRUE(std::equal(abc.begin(), abc.end(), out.begin())) << "the running digest of \"abc\" survived";
  EXPECT_EQ(out[20], 0xAA) << "only 20 bytes written";
}

TEST(Sha1, PortableAndSha1InstructionCompressionAgree) {
  if (!Sha1HasHardwareCompress()) GTEST_SKIP() << "this processor has no SHA instructions";
  std::mt19937 random(1801);
  std::vector<std::uint8_t> blocks(64 * 37);
  for (auto& byte : blocks) byte = static_cast<std::uint8_t>(random());
  for (std::size_t count : {1, 2, 37}) {
    std::array<std::uint32_t, 5> portable;
    for (auto& word : portable) word = static_cast<std::uint32_t>(random());
    auto hardware = portable;
    Sha1CompressPortable(portable, blocks.data(), count);
    Sha1CompressHardware(hardware, blocks.data(), count);
    EXPECT_EQ(portable, hardware) << count << " blocks";
  }
}

}  // namespace
}  // namespace sealrun::support
