#pragma once
// What the document fingerprint is made of besides the page digests: each page's identifier (read from the
// page, or made and stored when it has none), the lines "identifier$digest" in page order with pages that share
// an identifier counted apart, and the digest of all lines.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "external/qp.h"
#include "support/Sha1.h"

namespace sealrun::verify {

// The page's "ID" string (from the ANSI code page). A page without one gets the 24 FingerprintAlphabet symbols
// of the MD5 of its object number, stored as a literal string and the page marked modified. nullopt when the
// identifier cannot be stored.
std::optional<std::u16string> PageIdentifierOf(qp_document document, qp_cos pageDict);

class FingerprintLines {
 public:
  // Appends the page's line. An identifier contained in earlier ones as long or longer gets their count
  // appended, so three pages sharing X read X, X1 and X2.
  void Add(const std::u16string& identifier, std::string_view digestText);

  // The lines, each ending in CR LF, while they are short enough to keep (kKeptText code units); the digest
  // is always over all of them. Pages sharing a long identifier would otherwise hold its copies in memory.
  static constexpr std::size_t kKeptText = std::size_t{1} << 20;
  const std::u16string& Text() const { return text_; }
  bool TextComplete() const { return textComplete_; }
  // The 28 FingerprintAlphabet symbols of the SHA-1 of the lines in the ANSI code page.
  std::u16string Fingerprint() const;

 private:
  // How many earlier entries hold an identifier, worked out up to `scanned`: pages sharing one identifier
  // continue the count where the last of them left it, so the counting stays linear in the pages.
  struct Occurrences {
    std::size_t count = 0;
    std::size_t scanned = 0;
  };
  // An identifier used, with its counter: the identifier is kept once however many pages share it.
  struct Entry {
    const std::u16string* identifier;
    std::u16string counter;
    std::uint64_t symbols;  // which symbols it holds, a quick test before the search
  };
  static bool Contains(const Entry& entry, std::u16string_view identifier);
  std::size_t CountContaining(const std::u16string& identifier, const std::u16string** kept);

  support::Sha1 digest_;  // over the lines converted to the ANSI code page
  std::u16string text_;
  bool textComplete_ = true;
  std::u16string line_;    // the line being added
  std::string ansiLine_;   // and in the ANSI code page
  std::vector<Entry> used_;
  std::unordered_map<std::u16string, Occurrences> occurrences_;  // its keys are the identifiers entries refer to
  // For identifiers no entry is longer than (the usual case: every page's is as long and its own): such an
  // identifier is held only by entries that are it, and an entry with a counter is one only by its whole text.
  std::size_t longestEntry_ = 0;
  std::unordered_map<std::u16string, std::size_t> counteredEntries_;  // identifier + counter: how many
};

}  // namespace sealrun::verify
