#pragma once
// The threads that serve connections, one connection each, at most `maxWorkers` at once: threads are made as
// connections come and stay for the next ones. A connection beyond the limit is not taken, so the caller can
// turn it away at once instead of letting it wait behind slow clients.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "apps/tramex-server/UniqueFd.h"

namespace sealrun::tramex {

struct AcceptedConnection {
  UniqueFd socket;
  std::string peer;  // HOST:PORT
};

class WorkerPool {
 public:
  using Serve = std::function<void(AcceptedConnection)>;
  WorkerPool(int maxWorkers, Serve serve) : maxWorkers_(maxWorkers), serve_(std::move(serve)) {}
  // Serves the connections already taken, then joins every thread.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // False, leaving `connection` with the caller, when every worker is busy and there are as many as allowed.
  bool TryHand(AcceptedConnection& connection);

 private:
  void Work();

  const std::size_t maxWorkers_;
  Serve serve_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<AcceptedConnection> waiting_;
  std::size_t busy_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace sealrun::tramex
