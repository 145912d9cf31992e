#pragma once
// Whether a certificate chains to one of the given root certificates, optionally checked against
// revocation lists. Separate from CMS verification: a signature can be valid with an untrusted key.
#include <ctime>
#include <optional>
#include <span>
#include <string>

#include "platform/crypto/Bytes.h"
#include "platform/crypto/Certificate.h"

namespace sealrun::platform::crypto {

enum class ChainStatus {
  Valid,
  NotYetValid,      // the certificate (or one above it) is not valid yet
  Expired,          // the certificate (or one above it) has expired
  UntrustedRoot,    // no chain to one of the roots, or a signature in the chain does not verify
  Revoked,          // listed in a revocation list of its issuer
  NoRevocationList, // revocation asked for but no list of the issuer was given
  BadRevocationList,// a list that does not parse, is not signed by the issuer, or is out of date
  Other,
};

struct ChainCheckOptions {
  // The time the chain must be valid at; now when not given.
  std::optional<std::time_t> at;
  // DER or PEM revocation lists. When given, the certificate's issuer must have one.
  std::span<const Bytes> revocationLists;
};

struct ChainResult {
  ChainStatus status = ChainStatus::Other;
  std::string detail;
  bool Ok() const { return status == ChainStatus::Valid; }
};

ChainResult VerifyChain(const Certificate& certificate, std::span<const Certificate> roots,
                        std::span<const Certificate> intermediates = {},
                        const ChainCheckOptions& options = {});

}  // namespace sealrun::platform::crypto
