#include "platform/crypto/Digest.h"

#include <gtest/gtest.h>

#include <string>

namespace sealrun::platform::crypto {
namespace {

std::string Hex(const Bytes& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (const std::uint8_t byte : bytes) {
    text += digits[byte >> 4];
    text += digits[byte & 15];
  }
  return text;
}

// FIPS 180-2 examples.
TEST(DigestTest, KnownVectors) {
  EXPECT_EQ(Hex(Sha1(AsBytes("abc"))), "a9993e364706816aba3e25717850c26c9cd0d89d") << "SHA-1 abc";
  EXPECT_EQ(Hex(Sha1(AsBytes(""))), "da39a3ee5e6b4b0d3255bfef95601890afd80709") << "SHA-1 empty";
  EXPECT_EQ(Hex(Sha256(AsBytes("abc"))), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad")
      << "SHA-256 abc";
  const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(Hex(Sha256(AsBytes(twoBlocks))), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1")
      << "SHA-256 two blocks";
}

TEST(DigestTest, RangesAndPiecesEqualTheWhole) {
  const std::string whole = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  const ByteView view = AsBytes(whole);
  EXPECT_EQ(ComputeDigest(DigestAlgorithm::Sha1, {view.subspan(0, 10), view.subspan(10)}), Sha1(view));
  EXPECT_EQ(DigestSize(DigestAlgorithm::Sha256), 32u);

  Digest digest(DigestAlgorithm::Sha256);
  for (const char c : whole) digest.Update(AsBytes(&c, 1));
  EXPECT_EQ(digest.Final(), Sha256(view));
  // After Final the object starts over.
  digest.Update(AsBytes("abc"));
  EXPECT_EQ(Hex(digest.Final()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
}  // namespace sealrun::platform::crypto
