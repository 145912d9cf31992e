#pragma once
// Signing and verification requests made by hand for tramex-server, and raw connections for what the HTTP
// client would not send.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/crypto/Digest.h"
#include "platform/crypto/SignedDataBuilder.h"
#include "platform/net/HttpClient.h"
#include "tests/signing/SignOnlineTestSupport.h"

namespace sealrun::signing::testing {

// The DER signed attributes of a digest made from the seed.
inline crypto::Bytes RequestAttributes(const std::string& seed) {
  return crypto::BuildSignedAttributes(crypto::Sha1(crypto::AsBytes(seed)));
}

inline std::string SigningPacket(const std::string& seed, const std::u16string& keySerial = u"ZQ-DEMO-0001") {
  return protocol::BuildPacket(std::vector<PacketField>{
      {u"TRAMEX", u"TRAMEX"},
      {u"OPTION", u"SIGNCONTEXT"},
      {u"KEYSN", keySerial},
      {u"SIGNSN", u"SEAL-0007"},
      {u"CERTTEXT", platform::text::Utf8ToUtf16(support::Base64Encode(RequestAttributes(seed)))},
      {u"CN", u"123420261208101500"}});
}

// A verification request after a refusal: nothing to confirm, but a well-formed request.
inline std::string VerificationPacket(const std::string& seed) {
  return protocol::BuildPacket(std::vector<PacketField>{
      {u"TRAMEX", u"TRAMEX"},
      {u"COMMAND", u"VERIFYSIGNATURE"},
      {u"KEYSN", std::u16string(protocol::kVerifyKeySerial)},
      {u"SIGNSN", std::u16string(protocol::kVerifySealSerial)},
      {u"CERTTEXT", platform::text::Utf8ToUtf16(support::Base64Encode(RequestAttributes(seed)))},
      {u"SIGNEDDATA", u""},
      {u"CERTCONTEXT", u""}});
}

// Posts the packet with the client's headers, and a bearer token when one is given.
inline platform::net::HttpAnswer PostPacket(const std::string& url, const std::string& packet, const std::string& token = {}) {
  platform::net::HttpHeaders headers = {{"Content-Type", "application/x-www-form-urlencoded; charset=UTF-8"}};
  if (!token.empty()) headers.emplace_back("Authorization", "Bearer " + token);
  return platform::net::HttpPost(url, packet, headers);
}

// A plain TCP connection to the loopback port; -1 on failure.
inline int ConnectToLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Lower-case hex of SHA-256 over the text, as the configuration file stores a token.
inline std::string Sha256Hex(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (const std::uint8_t byte : crypto::Sha256(crypto::AsBytes(text))) {
    hex += kHex[byte >> 4];
    hex += kHex[byte & 0x0F];
  }
  return hex;
}

}  // namespace sealrun::signing::testing
