// The decoders on arbitrary input, and encode/decode round trips of the same bytes.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text/Utf.h"
#include "support/Base64.h"
#include "support/CBase64Algo.h"
#include "support/Md5.h"
#include "support/Sha1.h"
#include "support/Sha1Compress.h"

namespace {

using namespace sealrun::support;

void Check(bool condition) {
  if (!condition) std::abort();
}

std::vector<std::uint8_t> Padded(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> padded(bytes.begin(), bytes.end());
  padded.resize((bytes.size() + 2) / 3 * 3, 0);
  return padded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::uint8_t> original(bytes.begin(), bytes.end());

  // Decoders on whatever arrives.
  for (const Alphabet* alphabet : {&StandardAlphabet, &FingerprintAlphabet, &SealInfoAlphabet}) {
    Check(DecodeWithAlphabet(text, *alphabet).size() <= (size + 3) / 4 * 3);
  }
  Check(SealInfoDecode(text).size() == text.substr(0, text.find('\0')).size() / 4 * 3);
  const CBase64Algo codec;
  Check(codec.DecodeBytes(text).size() <= (size + 3) / 4 * 3);
  std::u16string units(size / 2, u'\0');
  if (!units.empty()) std::memcpy(units.data(), data, units.size() * 2);
  codec.DecodeText(units, TextBytes::Utf8);
  codec.DecodeText(units, TextBytes::Ansi);

  // Round trips.
  for (const Alphabet* alphabet : {&StandardAlphabet, &FingerprintAlphabet}) {
    std::string symbols(size / 3 + size + 4, '\0');
    symbols.resize(EncodeWithAlphabet(bytes, symbols, *alphabet));
    Check(symbols.size() == Base64EncodedSize(size));
    Check(DecodeWithAlphabet(symbols, *alphabet) == original);
    Check(CBase64Algo(*alphabet).DecodeBytes(CBase64Algo(*alphabet).EncodeBytes(bytes)) == original);
  }
  Check(DecodeWithAlphabet(Base64Encode(bytes), StandardAlphabet) == original);
  Check(SealInfoDecode(SealInfoEncode(bytes)) == Padded(bytes));
  const std::u16string sanitized = sealrun::platform::text::Utf8ToUtf16(sealrun::platform::text::Utf16ToUtf8(units));
  Check(codec.DecodeText(codec.EncodeText(units, TextBytes::Utf8), TextBytes::Utf8) == sanitized);

  // Digests fed in two pieces equal digests fed at once.
  const std::size_t split = size == 0 ? 0 : data[0] % (size + 1);
  Md5 md5;
  md5.Update(bytes.first(split));
  md5.Update(bytes.subspan(split));
  Check(md5.Finish() == Md5Digest(bytes));
  Sha1 sha1;
  sha1.Update(bytes.first(split));
  sha1.Update(bytes.subspan(split));
  Check(sha1.Finish() == Sha1Digest(bytes));
  std::array<std::uint32_t, 5> portable{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  std::array<std::uint32_t, 5> hardware = portable;
  Sha1CompressPortable(portable, data, size / 64);
  Sha1CompressHardware(hardware, data, size / 64);
  Check(portable == hardware);
  return 0;
}
