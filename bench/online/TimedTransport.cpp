#include "bench/online/TimedTransport.h"

namespace sealrun::bench {

std::string TimedTransport::Exchange(std::string_view url, std::string_view packet) {
  const auto start = std::chrono::steady_clock::now();
  std::string answer = inner_.Exchange(url, packet);
  spent_ += std::chrono::steady_clock::now() - start;
  ++exchanges_;
  if (answer.empty()) ++emptyAnswers_;
  return answer;
}

void TimedTransport::Reset() {
  spent_ = std::chrono::nanoseconds{0};
  exchanges_ = 0;
  emptyAnswers_ = 0;
}

}  // namespace sealrun::bench
