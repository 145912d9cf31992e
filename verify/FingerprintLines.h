#pragma once
// What the document fingerprint is made of besides the page digests: each page's identifier (read from the
// page, or made and stored when it has none), the lines "identifier$digest" in page order with pages that share
// an identifier counted apart, and the digest of all lines.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "external/qp.h"

namespace sealrun::verify {

// The page's "ID" string (from the ANSI code page). A page without one gets the 24 FingerprintAlphabet symbols
// of the MD5 of its object number, stored as a literal string and the page marked modified. nullopt when the
// identifier cannot be stored.
std::optional<std::u16string> PageIdentifierOf(qp_document document, qp_cos pageDict);

class FingerprintLines {
 public:
  // Appends the page's line. An identifier contained in earlier ones as long or longer gets their count
  // appended, so three pages sharing X read X, X1 and X2.
  void Add(std::u16string identifier, std::string_view digestText);

  // The lines, each ending in CR LF.
  const std::u16string& Text() const { return text_; }
  // The 28 FingerprintAlphabet symbols of the SHA-1 of the lines in the ANSI code page.
  std::u16string Fingerprint() const;

 private:
  std::u16string text_;
  std::vector<std::u16string> used_;
};

}  // namespace sealrun::verify
