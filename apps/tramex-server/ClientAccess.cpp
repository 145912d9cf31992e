#include "apps/tramex-server/ClientAccess.h"

#include <algorithm>

#include "platform/crypto/Digest.h"
#include "platform/text/Utf.h"
#include "protocol/PacketParse.h"
#include "protocol/TramexFields.h"

namespace sealrun::tramex {
namespace {

int HexValue(char c) { return c <= '9' ? c - '0' : c - 'a' + 10; }

// Differs in as many steps whatever the two digests hold.
bool SameDigest(const std::array<std::uint8_t, 32>& a, const std::array<std::uint8_t, 32>& b) {
  std::uint8_t difference = 0;
  for (std::size_t i = 0; i < a.size(); ++i) difference = static_cast<std::uint8_t>(difference | (a[i] ^ b[i]));
  return difference == 0;
}

}  // namespace

ClientAccess::ClientAccess(std::vector<ClientEntry> clients) : clients_(std::move(clients)) {
  for (const ClientEntry& client : clients_) {
    Digest digest{};
    // The configuration reader has checked the 64 lower-case hex digits.
    if (client.tokenSha256.size() == 64) {
      for (std::size_t i = 0; i < digest.size(); ++i)
        digest[i] = static_cast<std::uint8_t>(HexValue(client.tokenSha256[2 * i]) * 16 + HexValue(client.tokenSha256[2 * i + 1]));
    }
    tokenDigests_.push_back(digest);
  }
}

const ClientEntry* ClientAccess::Identify(std::string_view certificateSha256, std::string_view bearerToken) const {
  if (!certificateSha256.empty()) {
    for (const ClientEntry& client : clients_) {
      if (client.certificateSha256 == certificateSha256) return &client;
    }
  }
  if (bearerToken.empty()) return nullptr;
  const platform::crypto::Bytes presented = platform::crypto::Sha256(platform::crypto::AsBytes(bearerToken));
  Digest digest{};
  std::copy_n(presented.begin(), std::min(presented.size(), digest.size()), digest.begin());
  // Every client is compared, so the time taken does not tell which one came close.
  const ClientEntry* found = nullptr;
  for (std::size_t i = 0; i < clients_.size(); ++i) {
    const bool same = SameDigest(digest, tokenDigests_[i]) && !clients_[i].tokenSha256.empty();
    if (same && found == nullptr) found = &clients_[i];
  }
  return found;
}

bool ClientAccess::MaySign(const ClientEntry& client, std::string_view keySerial) {
  return std::find(client.keySerials.begin(), client.keySerials.end(), keySerial) != client.keySerials.end();
}

RequestSummary SummariseRequest(std::string_view body) {
  RequestSummary summary;
  const std::optional<std::vector<protocol::PacketField>> fields = protocol::ParsePacket(body);
  if (!fields || protocol::FindField(*fields, protocol::kFieldTramex) != protocol::kTramexValue) return summary;
  if (protocol::FindField(*fields, protocol::kFieldOption) == protocol::kOptionSignContext)
    summary.kind = "SIGNCONTEXT";
  else if (protocol::FindField(*fields, protocol::kFieldCommand) == protocol::kCommandVerifySignature)
    summary.kind = "VERIFYSIGNATURE";
  if (const std::optional<std::u16string> serial = protocol::FindField(*fields, protocol::kFieldKeySerial))
    summary.keySerial = platform::text::Utf16ToUtf8(*serial);
  return summary;
}

}  // namespace sealrun::tramex
