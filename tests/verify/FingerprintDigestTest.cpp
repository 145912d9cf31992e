// A captured piece of the digest's input is exactly the bytes written while it was open, however they reached
// the digest (small tokens gathered, large pieces passed straight on, flushes in between), and feeding the
// piece again later gives the digest the capture would have given.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "verify/FingerprintDigest.h"

namespace sealrun::verify {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Writes one value the way a resource is written: names, a string, numbers and stream data of `dataSize`.
void WriteValue(FingerprintDigest& digest, std::size_t dataSize) {
  digest.Write("<<");
  digest.WriteName("Type");
  digest.WriteName("Font");
  digest.WriteName("Widths");
  digest.Write("[");
  for (int i = 0; i < 700; ++i) digest.WriteInteger(i * 7);  // more than the 4 KiB gathered before a flush
  digest.Write("]");
  digest.WriteString("a(b)c", StringForm::Literal);
  digest.WriteReal(0.123456789);
  digest.Write(">>stream\r\n");
  digest.WriteBulk(Bytes(std::string(dataSize, 'x')));
  digest.Write("\r\nendstream");
}

TEST(FingerprintDigest, ACapturedValueFedAgainGivesTheDigestOfWritingItAgain) {
  for (const std::size_t dataSize : {std::size_t{10}, std::size_t{5000}, std::size_t{20000}}) {
    SCOPED_TRACE(dataSize);
    FingerprintDigest written;
    FingerprintDigest replayed;
    written.WriteName("Before");
    replayed.WriteName("Before");

    replayed.BeginCapture(1 << 20);
    WriteValue(replayed, dataSize);
    const std::optional<std::string> captured = replayed.EndCapture();
    ASSERT_TRUE(captured.has_value());
    WriteValue(written, dataSize);

    replayed.WriteName("Between");
    written.WriteName("Between");
    replayed.WriteBulk(Bytes(*captured));
    WriteValue(written, dataSize);
    EXPECT_EQ(replayed.TakeDigestText(), written.TakeDigestText());
    EXPECT_EQ(replayed.FedByteCount(), written.FedByteCount());
  }
}

TEST(FingerprintDigest, ACaptureLongerThanItsLimitKeepsNothingAndLeavesTheDigestAlone) {
  FingerprintDigest capturing;
  FingerprintDigest plain;
  capturing.BeginCapture(1000);
  WriteValue(capturing, 10);
  EXPECT_FALSE(capturing.EndCapture().has_value());
  WriteValue(plain, 10);
  EXPECT_EQ(capturing.TakeDigestText(), plain.TakeDigestText());

  // The next capture starts afresh.
  capturing.BeginCapture(100);
  capturing.WriteName("Short");
  EXPECT_EQ(capturing.EndCapture(), std::optional<std::string>("/Short"));
}

}  // namespace
}  // namespace sealrun::verify
