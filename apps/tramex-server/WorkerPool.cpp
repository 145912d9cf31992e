#include "apps/tramex-server/WorkerPool.h"

namespace sealrun::tramex {

WorkerPool::~WorkerPool() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

bool WorkerPool::TryHand(AcceptedConnection& connection) {
  std::unique_lock lock(mutex_);
  const std::size_t committed = busy_ + waiting_.size();
  if (committed < threads_.size()) {
    waiting_.push_back(std::move(connection));
    lock.unlock();
    wake_.notify_one();
    return true;
  }
  if (threads_.size() >= maxWorkers_) return false;
  waiting_.push_back(std::move(connection));
  threads_.emplace_back([this] { Work(); });
  return true;
}

void WorkerPool::Work() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
    if (waiting_.empty()) return;  // stopping, nothing left to serve
    AcceptedConnection connection = std::move(waiting_.front());
    waiting_.pop_front();
    ++busy_;
    lock.unlock();
    serve_(std::move(connection));
    lock.lock();
    --busy_;
  }
}

}  // namespace sealrun::tramex
