// The fingerprint's lines against the rule written out the plain way: every earlier entry that is at least as
// long as the identifier and contains it adds one to its counter. Identifiers drawn from a few symbols make
// identifiers that contain each other, counters that complete another identifier ("a" + "1" = "a1"), and the
// empty identifier, which every entry contains.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/Sha1.h"
#include "verify/FingerprintLines.h"

namespace sealrun::verify {
namespace {

struct PlainLines {
  std::u16string text;
  std::vector<std::u16string> used;

  void Add(std::u16string identifier, std::u16string_view digest) {
    std::size_t seen = 0;
    for (const std::u16string& earlier : used)
      if (earlier.size() >= identifier.size() && earlier.find(identifier) != std::u16string::npos) ++seen;
    if (seen > 0) {
      const std::string counter = std::to_string(seen);
      identifier.append(counter.begin(), counter.end());
    }
    text += identifier + u"$" + std::u16string(digest) + u"\r\n";
    used.push_back(identifier);
  }
};

std::u16string FingerprintOfText(const std::u16string& text) {
  support::Sha1 sha1;
  sha1.Update(std::string(text.begin(), text.end()));
  std::uint8_t out[29] = {};
  sha1.Final(out, support::Sha1Output::Text);
  return std::u16string(out, out + 28);
}

TEST(FingerprintLines, CountersFollowThePlainRuleForIdentifiersThatContainEachOther) {
  std::mt19937 random(20261208);
  const std::u16string symbols = u"ab12";
  for (int round = 0; round < 200; ++round) {
    FingerprintLines lines;
    PlainLines plain;
    const int pages = 1 + static_cast<int>(random() % 40);
    for (int page = 0; page < pages; ++page) {
      std::u16string identifier;
      for (auto length = random() % 5; length > 0; --length) identifier += symbols[random() % symbols.size()];
      const std::string digest = "D" + std::to_string(page);
      lines.Add(identifier, digest);
      plain.Add(identifier, std::u16string(digest.begin(), digest.end()));
    }
    ASSERT_EQ(lines.Text(), plain.text) << "round " << round;
    ASSERT_EQ(lines.Fingerprint(), FingerprintOfText(plain.text)) << "round " << round;
  }
}

TEST(FingerprintLines, LongTextIsDigestedWholeButNotKept) {
  FingerprintLines lines;
  PlainLines plain;
  const std::u16string identifier(100 * 1024, u'I');
  for (int page = 0; page < 30; ++page) {
    lines.Add(identifier, "DIGEST");
    plain.Add(identifier, u"DIGEST");
  }
  EXPECT_FALSE(lines.TextComplete());
  EXPECT_LE(lines.Text().size(), FingerprintLines::kKeptText);
  EXPECT_EQ(plain.text.compare(0, lines.Text().size(), lines.Text()), 0) << "what is kept is the start of the lines";
  EXPECT_EQ(lines.Fingerprint(), FingerprintOfText(plain.text));
}

}  // namespace
}  // namespace sealrun::verify
