#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/Base64.h"

namespace sealrun::support {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> RandomBytes(std::size_t length, std::mt19937& random) {
  std::vector<std::uint8_t> bytes(length);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  return bytes;
}

struct Vector {
  std::string_view plain;
  std::string_view encoded;
};
// RFC 4648, section 10.
constexpr Vector kRfc4648[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
                               {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};

TEST(Base64, Rfc4648VectorsEncodeAndDecode) {
  for (const auto& [plain, encoded] : kRfc4648) {
    const std::string label = "RFC 4648 \"" + std::string(plain) + "\"";
    EXPECT_EQ(Base64Encode(plain), encoded) << label;
    std::string out(encoded.size() + plain.size() / 3 + 1, '#');
    ASSERT_EQ(EncodeWithAlphabet(Bytes(plain), out, StandardAlphabet), encoded.size()) << label;
    EXPECT_EQ(out.substr(0, encoded.size()), encoded) << label;
    EXPECT_EQ(DecodeWithAlphabet(encoded, StandardAlphabet), Bytes(plain)) << label;
  }
}

TEST(Base64, AlphabetEncoderRefusesAnOutputTooSmallAndNeverWritesPastTheEnd) {
  for (std::size_t n = 0; n <= 20; ++n) {
    const std::vector<std::uint8_t> bytes(n, 0xA5);
    const std::size_t needed = std::max(n / 3 + n + 1, Base64EncodedSize(n));
    std::string out(needed + 1, '#');
    EXPECT_EQ(EncodeWithAlphabet(bytes, std::span<char>(out.data(), needed - 1), FingerprintAlphabet), 0u) << "n=" << n;
    EXPECT_EQ(out, std::string(needed + 1, '#')) << "n=" << n << " refused call wrote";
    EXPECT_EQ(EncodeWithAlphabet(bytes, std::span<char>(out.data(), needed), FingerprintAlphabet),
              Base64EncodedSize(n)) << "n=" << n;
    EXPECT_EQ(out.substr(Base64EncodedSize(n)), std::string(needed + 1 - Base64EncodedSize(n), '#')) << "n=" << n;
  }
}

TEST(Base64, AlphabetRoundTripsOverEdgeAndRandomLengths) {
  std::mt19937 random(4648);
  for (const Alphabet* alphabet : {&StandardAlphabet, &FingerprintAlphabet}) {
    for (std::size_t n : {0, 1, 2, 3, 4, 5, 6, 7, 16, 20, 57, 58, 255, 1000, 4096}) {
      const auto bytes = RandomBytes(n, random);
      std::string out(n / 3 + n + 4, '\0');
      out.resize(EncodeWithAlphabet(bytes, out, *alphabet));
      EXPECT_EQ(out.size(), Base64EncodedSize(n));
      EXPECT_EQ(DecodeWithAlphabet(out, *alphabet), bytes) << alphabet->Symbols() << " n=" << n;
    }
  }
}

TEST(Base64, AlphabetDecoderPadRules) {
  const auto decode = [](std::string_view symbols) { return DecodeWithAlphabet(symbols, StandardAlphabet); };
  EXPECT_EQ(decode("Zg"), Bytes("f")) << "positions past the end are pads";
  EXPECT_EQ(decode("Zg==Zm8="), Bytes("ffo")) << "decoding goes on after a pad";
  EXPECT_EQ(decode("Zg!*"), Bytes("f")) << "symbols outside the alphabet are pads";
  EXPECT_EQ(decode("Zm9vZg=A"), Bytes(std::string_view("foof\0", 5))) << "fourth symbol alone gives the third byte";
  EXPECT_EQ(decode("===="), Bytes(std::string_view("\0", 1))) << "a group always gives its first byte";
  // In FingerprintAlphabet "=" is a value and its own pad is the symbol at position 64.
  std::string out(8, '\0');
  out.resize(EncodeWithAlphabet(Bytes("f"), out, FingerprintAlphabet));
  EXPECT_EQ(out.substr(2), std::string(2, FingerprintAlphabet.Pad()));
  EXPECT_EQ(DecodeWithAlphabet(out, FingerprintAlphabet), Bytes("f"));
}

TEST(Base64, SealInfoPadsReadBackAsZeroBytes) {
  std::mt19937 random(3);
  for (std::size_t n : {0, 1, 2, 3, 4, 5, 6, 38, 100, 1001}) {
    const auto bytes = RandomBytes(n, random);
    const std::string symbols = SealInfoEncode(bytes);
    ASSERT_EQ(symbols.size(), Base64EncodedSize(n));
    auto expected = bytes;
    expected.resize((n + 2) / 3 * 3, 0);
    EXPECT_EQ(SealInfoDecode(symbols), expected) << "n=" << n;
  }
}

TEST(Base64, SealInfoDecoderIgnoresTrailingGroupAndStopsAtNul) {
  const std::string symbols = SealInfoEncode(std::string_view("record"));
  const auto bytes = SealInfoDecode(symbols);
  for (std::string_view tail : {"7", "7v", "7vG"}) {
    EXPECT_EQ(SealInfoDecode(symbols + std::string(tail)), bytes) << "trailing \"" << tail << "\"";
  }
  EXPECT_EQ(SealInfoDecode(symbols + std::string(1, '\0') + "7vG6"), bytes);
  EXPECT_EQ(SealInfoDecode("!!!!"), std::vector<std::uint8_t>(3, 0)) << "symbols outside the alphabet count 0";
  EXPECT_TRUE(SealInfoDecode("").empty());
}

}  // namespace
}  // namespace sealrun::support
