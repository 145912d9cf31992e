#include "verify/VerificationWorkers.h"

#include <algorithm>
#include <utility>

#include "external/QpHandles.h"
#include "platform/fs/DebugTrace.h"

namespace sealrun::verify {

namespace {

constexpr unsigned kMostWorkers = 4;

}  // namespace

int VerificationWorkerCount(std::size_t files) {
  if (platform::fs::DebugTraceEnabled()) return 1;
  const unsigned hardware = std::max(1u, std::thread::hardware_concurrency());
  return static_cast<int>(std::min<std::size_t>({hardware, kMostWorkers, std::max<std::size_t>(files, 1)}));
}

VerificationWorkers::VerificationWorkers(qp_engine callerEngine, const std::vector<std::u16string>& files,
                                         FileExaminer examine, int workers)
    : callerEngine_(callerEngine), files_(files), examine_(std::move(examine)), slots_(files.size()) {
  if (workers < 2 || files.size() < 2) return;
  std::vector<external::EngineHandle> engines;
  for (int i = 0; i < workers; ++i)
    if (external::EngineHandle engine = external::StartEngine()) engines.push_back(std::move(engine));
  // One worker on an engine of its own would only add a thread beside the caller's.
  if (engines.size() < 2) return;
  // Reserved first: a thread that started must never be left unjoined by a failure to store it.
  threads_.reserve(engines.size());
  for (auto& engine : engines) {
    try {
      threads_.emplace_back([this, owned = std::move(engine)]() mutable {
        Work(owned.get());
        owned.reset();
      });
    } catch (...) {
      break;  // no more threads; those that did start do the work
    }
  }
}

VerificationWorkers::~VerificationWorkers() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  for (auto& thread : threads_) thread.join();
}

void VerificationWorkers::Work(qp_engine engine) {
  for (;;) {
    std::size_t row = 0;
    {
      const std::lock_guard lock(mutex_);
      if (stopping_ || next_ >= files_.size()) return;
      row = next_++;
    }
    Slot done;
    try {
      done.result = examine_(engine, files_[row]);
    } catch (...) {
      done.failure = std::current_exception();
    }
    {
      const std::lock_guard lock(mutex_);
      slots_[row] = std::move(done);
    }
    ready_.notify_all();
  }
}

std::optional<VerificationResult> VerificationWorkers::Take(std::size_t row, std::chrono::milliseconds wait) {
  if (row >= files_.size()) return std::nullopt;
  if (threads_.empty()) return examine_(callerEngine_, files_[row]);
  std::unique_lock lock(mutex_);
  Slot& slot = slots_[row];
  if (!ready_.wait_for(lock, wait, [&slot] { return slot.result.has_value() || slot.failure != nullptr; }))
    return std::nullopt;
  if (slot.failure) std::rethrow_exception(std::exchange(slot.failure, nullptr));
  return std::exchange(slot.result, std::nullopt);
}

}  // namespace sealrun::verify
