#include "platform/ui/QuitRequest.h"

#include <atomic>

namespace sealrun::platform::ui {
namespace {

// Lock-free, so a signal handler may store it.
std::atomic<int> quitReason{0};
static_assert(std::atomic<int>::is_always_lock_free);

}  // namespace

void RequestQuit(int reason) noexcept { quitReason.store(reason == 0 ? -1 : reason, std::memory_order_relaxed); }
bool QuitRequested() noexcept { return quitReason.load(std::memory_order_relaxed) != 0; }
int QuitReason() noexcept {
  const int reason = quitReason.load(std::memory_order_relaxed);
  return reason < 0 ? 0 : reason;
}
void ClearQuitRequest() noexcept { quitReason.store(0, std::memory_order_relaxed); }

}  // namespace sealrun::platform::ui
