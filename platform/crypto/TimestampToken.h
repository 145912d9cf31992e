#pragma once
// RFC 3161 time-stamp tokens, as a PDF document timestamp (/SubFilter /ETSI.RFC3161) carries one: a
// SignedData whose content is a TSTInfo. The token stamps the data when the TSTInfo's message imprint is the
// digest of that data and the time-stamping authority's signature over the TSTInfo verifies.
#include <ctime>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>

#include "platform/crypto/Bytes.h"
#include "platform/crypto/Certificate.h"

namespace sealrun::platform::crypto {

struct TimestampVerifyResult {
  // A SignedData carrying a TSTInfo whose imprint names a digest this layer knows.
  bool wellFormed = false;
  // The message imprint is the digest of the data.
  bool imprintMatches = false;
  // The signature over the TSTInfo verifies with the signer certificate's key.
  bool signatureValid = false;
  // The signer certificate is one for stamping time (extended key usage timeStamping).
  bool timeStampingSigner = false;
  std::optional<Certificate> signer;
  std::optional<std::time_t> genTime;
  // Why the result is not valid, for traces.
  std::string problem;

  // Says nothing about whether the authority is trusted: see VerifyChain.
  bool Valid() const { return wellFormed && imprintMatches && signatureValid && timeStampingSigner; }
};

// Checks the token over the stamped data, given as ranges taken in order.
TimestampVerifyResult VerifyTimestampToken(ByteView tokenDer, std::span<const ByteView> stampedRanges);
inline TimestampVerifyResult VerifyTimestampToken(ByteView tokenDer, std::initializer_list<ByteView> stampedRanges) {
  return VerifyTimestampToken(tokenDer, std::span<const ByteView>(stampedRanges.begin(), stampedRanges.size()));
}

}  // namespace sealrun::platform::crypto
