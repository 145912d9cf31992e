#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/Alphabets.h"
#include "support/Base64.h"
#include "support/Md5.h"

namespace sealrun::support {
namespace {

std::string Sorted(std::string_view symbols) {
  std::string sorted(symbols);
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}

// Sealed files carry these alphabets: any change to them must fail here.
TEST(Alphabet, SystemAlphabetsAreShuffledPermutationsOfTheStandardSymbols) {
  const std::string standard = Sorted(StandardAlphabet.Symbols());
  for (const auto& [label, alphabet] : {std::pair{"FingerprintAlphabet", &FingerprintAlphabet},
                                        std::pair{"SealInfoAlphabet", &SealInfoAlphabet}}) {
    EXPECT_EQ(Sorted(alphabet->Symbols()), standard) << label;
    EXPECT_NE(alphabet->Symbols().substr(1, 63), StandardAlphabet.Symbols().substr(1, 63)) << label;
    for (std::size_t i = 0; i < Alphabet::kSize; ++i) {
      EXPECT_EQ(alphabet->Position(alphabet->Symbol(i)), i) << label << " position " << i;
    }
  }
  EXPECT_EQ(SealInfoAlphabet.Symbol(0), '=');
  EXPECT_NE(FingerprintAlphabet.Pad(), '=') << "'=' stands for a value in FingerprintAlphabet";
  EXPECT_EQ(StandardAlphabet.Position('!'), Alphabet::kNotInAlphabet);
}

TEST(Alphabet, KnownEncodingsArePinned) {
  // Values checked against an independent MD5, SHA-1 and Base64 with the alphabets substituted.
  EXPECT_EQ(Md5Text("1"), "UgMdqKdVr=rjmHd9x4vkI6TT") << "page identifier of object 1";
  EXPECT_EQ(SealInfoEncode(std::string_view("\x70\x53\xE0\x7A")), "meCHBH==") << "UTF-16LE of 印章";
  EXPECT_EQ(SealInfoEncode(std::string_view("Seal")), "r1d2W===");
}

}  // namespace
}  // namespace sealrun::support
