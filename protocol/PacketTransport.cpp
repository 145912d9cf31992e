#include "protocol/PacketTransport.h"

#include "platform/net/HttpClient.h"
#include "platform/text/CodePage.h"
#include "support/Trace.h"

namespace sealrun::protocol {
namespace {

namespace net = platform::net;
namespace text = platform::text;

bool IsAscii(std::string_view bytes) {
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

void Trace(std::string_view line) { support::Trace(line); }

}  // namespace

std::string HttpPacketTransport::Exchange(std::string_view url, std::string_view packet) {
  const net::HttpHeaders headers = {
      {"X-Requested-With", "XMLHttpRequest"},
      {"Content-Type", "application/x-www-form-urlencoded; charset=UTF-8"},
      {"Content-Length", std::to_string(packet.size())},
  };
  net::HttpPostOptions options;
  options.connectTimeout = limits_.connectTimeout;
  options.ioTimeout = limits_.readTimeout;
  options.totalTimeout = limits_.totalTimeout;
  options.maxAnswerBytes = limits_.maxAnswerBytes;
  net::HttpAnswer answer = net::HttpPost(url, packet, headers, options);
  if (answer.failure != net::HttpFailure::None) {
    Trace("TRAMEX exchange failed: " + answer.failureText);
    return {};
  }
  if (answer.status != 200) {
    Trace("TRAMEX exchange answered HTTP " + std::to_string(answer.status));
    return {};
  }
  if (IsAscii(answer.body)) return std::move(answer.body);
  // The answer's text is UTF-8 on the wire; the packet reader works in the ANSI code page.
  return text::FromUtf16(text::ToUtf16(answer.body, text::kCpUtf8), text::kCpAcp);
}

PacketTransport& DefaultPacketTransport() {
  static HttpPacketTransport transport;
  return transport;
}

std::string PostPacket(std::string_view url, std::string_view packet, PacketTransport& transport) {
  return transport.Exchange(url, packet);
}

}  // namespace sealrun::protocol
