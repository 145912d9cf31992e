#pragma once
// The HTTP exchange of one packet. The transport is an interface so that the exchange can be driven without
// a socket (tests, benchmarks) as well as over HTTP to a real server.
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace sealrun::protocol {

class PacketTransport {
 public:
  virtual ~PacketTransport() = default;
  // The answer body for a packet posted to the address, or empty text on any failure (no answer, an HTTP
  // status other than 200, an answer too large).
  virtual std::string Exchange(std::string_view url, std::string_view packet) = 0;
};

// Time-outs of a real exchange. The system's own request object waits as long as the operating system lets
// it; here a dead server costs at most the connect time-out, a stalled one the read time-out, and no server
// more than the total time-out.
struct HttpTransportLimits {
  std::chrono::milliseconds connectTimeout{10'000};
  std::chrono::milliseconds readTimeout{30'000};
  // The whole exchange: a server that trickles its answer is cut off here.
  std::chrono::milliseconds totalTimeout{60'000};
  // An answer carries a signature and a certificate: a few kilobytes. Anything past this is not an answer.
  std::size_t maxAnswerBytes = 256 * 1024;
};

// POST over HTTP or HTTPS with the request object's headers: "X-Requested-With: XMLHttpRequest",
// "Content-Type: application/x-www-form-urlencoded; charset=UTF-8", "Content-Length". Only status 200 gives
// an answer; its text is read as UTF-8 and handed back in the ANSI code page.
class HttpPacketTransport final : public PacketTransport {
 public:
  HttpPacketTransport() = default;
  explicit HttpPacketTransport(const HttpTransportLimits& limits) : limits_(limits) {}
  std::string Exchange(std::string_view url, std::string_view packet) override;

 private:
  HttpTransportLimits limits_;
};

// The process's HTTP transport with the default limits.
PacketTransport& DefaultPacketTransport();

// One exchange: the answer text, empty on any failure.
std::string PostPacket(std::string_view url, std::string_view packet, PacketTransport& transport = DefaultPacketTransport());

}  // namespace sealrun::protocol
