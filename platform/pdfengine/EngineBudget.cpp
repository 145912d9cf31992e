#include "platform/pdfengine/EngineBudget.h"

#include <cstdlib>
#include <cstring>

#include "platform/pdfengine/Internal.h"

namespace sealrun::platform::pdfengine {
namespace {

// Each block carries its size in front, kept at MuPDF's alignment.
constexpr std::size_t kHeader = alignof(std::max_align_t);

std::int64_t Now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::size_t& SizeOf(void* block) { return *reinterpret_cast<std::size_t*>(static_cast<char*>(block) - kHeader); }

// An engine is used by one thread at a time, so its counters need no read-modify-write: a plain load and store
// costs a fraction of a locked add, and MuPDF allocates for every object it parses.
template <typename T>
T AddTo(std::atomic<T>& counter, T amount) {
  const T before = counter.load(std::memory_order_relaxed);
  counter.store(before + amount, std::memory_order_relaxed);
  return before;
}

}  // namespace

EngineBudget::EngineBudget() {
  allocator_.user = this;
  allocator_.malloc = &EngineBudget::Malloc;
  allocator_.realloc = &EngineBudget::Realloc;
  allocator_.free = &EngineBudget::Free;
}

void EngineBudget::SetDeadline(std::chrono::milliseconds budget) {
  deadline_ = budget.count() <= 0 ? 0 : Now() + std::chrono::duration_cast<std::chrono::nanoseconds>(budget).count();
  expired_ = false;
  if (refusal_ == kTime) refusal_ = kNone;
}

bool EngineBudget::Expired() const {
  if (expired_.load(std::memory_order_relaxed)) return true;
  const std::int64_t deadline = deadline_.load(std::memory_order_relaxed);
  if (deadline == 0 || Now() <= deadline) return false;
  expired_ = true;  // stays spent until the budget is set again
  return true;
}

std::string EngineBudget::TakeRefusal() {
  switch (refusal_.exchange(kNone)) {
    case kMemory:
      return "the file needs more memory than one file may take (" + std::to_string(ceiling_ >> 20) + " MiB)";
    case kTime:
      return "the file takes longer than one file may take";
    default:
      return {};
  }
}

bool EngineBudget::Admit(std::size_t more) {
  // The clock is read every 64th allocation: MuPDF allocates often enough for that to be prompt.
  const bool spent = expired_.load(std::memory_order_relaxed) ||
                     ((AddTo<std::uint32_t>(calls_, 1) & 63) == 0 && Expired());
  if (spent) {
    refusal_ = kTime;
    return false;
  }
  if (live_.load(std::memory_order_relaxed) + more > ceiling_.load(std::memory_order_relaxed)) {
    refusal_ = kMemory;
    return false;
  }
  return true;
}

void* EngineBudget::Malloc(void* self, std::size_t size) {
  auto* budget = static_cast<EngineBudget*>(self);
  if (size > SIZE_MAX - kHeader || !budget->Admit(size)) return nullptr;
  char* raw = static_cast<char*>(std::malloc(size + kHeader));
  if (raw == nullptr) return nullptr;
  AddTo(budget->live_, size);
  *reinterpret_cast<std::size_t*>(raw) = size;
  return raw + kHeader;
}

void* EngineBudget::Realloc(void* self, void* old, std::size_t size) {
  if (old == nullptr) return Malloc(self, size);
  auto* budget = static_cast<EngineBudget*>(self);
  const std::size_t before = SizeOf(old);
  if (size > SIZE_MAX - kHeader || (size > before && !budget->Admit(size - before))) return nullptr;
  char* raw = static_cast<char*>(std::realloc(static_cast<char*>(old) - kHeader, size + kHeader));
  if (raw == nullptr) return nullptr;
  AddTo(budget->live_, size - before);  // wraps around for a smaller block, as unsigned sums do
  *reinterpret_cast<std::size_t*>(raw) = size;
  return raw + kHeader;
}

void EngineBudget::Free(void* self, void* block) {
  if (block == nullptr) return;
  AddTo(static_cast<EngineBudget*>(self)->live_, std::size_t{0} - SizeOf(block));
  std::free(static_cast<char*>(block) - kHeader);
}

EngineBudget* BudgetOf(fz_context* ctx) {
  if (ctx == nullptr || ctx->alloc.malloc != &EngineBudget::Malloc) return nullptr;
  return static_cast<EngineBudget*>(ctx->alloc.user);
}

void EnforceBudget(fz_context* ctx) {
  if (EngineBudget* budget = BudgetOf(ctx); budget != nullptr && budget->Expired())
    Fail(QP_ERR_LIMIT, "the file takes longer than one file may take");
}

void CheckBudget(fz_context* ctx) {
  EngineBudget* budget = BudgetOf(ctx);
  // The clock is read every 64th step, as for allocations.
  if (budget == nullptr) return;
  if (!budget->expired_.load(std::memory_order_relaxed) &&
      (AddTo<std::uint32_t>(budget->calls_, 1) & 63) != 0)
    return;
  if (budget->Expired()) Fail(QP_ERR_LIMIT, "the file takes longer than one file may take");
}

}  // namespace sealrun::platform::pdfengine
