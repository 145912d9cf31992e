#pragma once
// Who may use the server and for which keys. A client is known by the SHA-256 fingerprint of the TLS
// certificate it presented (already verified against the client CA) or by a bearer token, of which only the
// SHA-256 is configured; tokens are compared in constant time. With no client configured the server is open.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "apps/tramex-server/ServerOptions.h"

namespace sealrun::tramex {

class ClientAccess {
 public:
  explicit ClientAccess(std::vector<ClientEntry> clients);

  bool Open() const { return clients_.empty(); }
  std::size_t Count() const { return clients_.size(); }
  // The client the credentials belong to (the certificate first), or null.
  const ClientEntry* Identify(std::string_view certificateSha256, std::string_view bearerToken) const;
  // Whether the client may have a signing request for this key serial answered.
  static bool MaySign(const ClientEntry& client, std::string_view keySerial);

 private:
  using Digest = std::array<std::uint8_t, 32>;
  std::vector<ClientEntry> clients_;
  std::vector<Digest> tokenDigests_;  // one per client, all zero when it has no token
};

// The kind and key serial of a request body as the log and the serial check need them: "SIGNCONTEXT",
// "VERIFYSIGNATURE" or "-", and the KEYSN field (empty when none).
struct RequestSummary {
  std::string kind = "-";
  std::string keySerial;
};
RequestSummary SummariseRequest(std::string_view body);

}  // namespace sealrun::tramex
