#pragma once
// A transport that times the exchanges of another: the benchmark's measure of how much of a signing is
// spent waiting for the server.
#include <chrono>
#include <cstdint>

#include "protocol/PacketTransport.h"

namespace sealrun::bench {

class TimedTransport final : public protocol::PacketTransport {
 public:
  explicit TimedTransport(protocol::PacketTransport& inner) : inner_(inner) {}
  std::string Exchange(std::string_view url, std::string_view packet) override;

  std::chrono::nanoseconds Spent() const { return spent_; }
  std::int64_t Exchanges() const { return exchanges_; }
  std::int64_t EmptyAnswers() const { return emptyAnswers_; }
  void Reset();

 private:
  protocol::PacketTransport& inner_;
  std::chrono::nanoseconds spent_{0};
  std::int64_t exchanges_ = 0;
  std::int64_t emptyAnswers_ = 0;
};

}  // namespace sealrun::bench
