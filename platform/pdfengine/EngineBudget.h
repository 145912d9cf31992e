#pragma once
// The bounds of the work one file may take in the engine: a ceiling on the memory MuPDF holds (its allocator
// counts every block) and a time budget. A hostile file of a few hundred bytes can claim millions of objects or
// a tree MuPDF walks for minutes; past a bound every allocation fails, MuPDF unwinds with an error, and the
// call fails with QP_ERR_LIMIT instead of swamping the machine or stalling the batch.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" {
#include <mupdf/fitz.h>
}

namespace sealrun::platform::pdfengine {

class EngineBudget;
// The budget of the engine that made `ctx`; null for contexts made elsewhere.
EngineBudget* BudgetOf(fz_context* ctx);
// Fails with QP_ERR_LIMIT when the time budget is spent: for the engine's own long loops, which do not
// allocate through MuPDF on every step.
void CheckBudget(fz_context* ctx);
// The same check made at once: where a file's work begins (opening it, loading a page).
void EnforceBudget(fz_context* ctx);

class EngineBudget {
 public:
  static constexpr std::size_t kDefaultMemoryCeiling = std::size_t{1} << 30;

  EngineBudget();
  EngineBudget(const EngineBudget&) = delete;
  EngineBudget& operator=(const EngineBudget&) = delete;

  // The allocator MuPDF's context is made with; it must outlive the context.
  const fz_alloc_context* Allocator() const { return &allocator_; }

  void SetMemoryCeiling(std::size_t bytes) { ceiling_ = bytes; }
  // The time budget runs from now; 0 takes it away.
  void SetDeadline(std::chrono::milliseconds budget);

  // Why the last refused allocation was refused, taken once: empty when none was. A refusal MuPDF recovered
  // from (it repairs a file whose table it could not allocate) stays until the next memory error takes it.
  std::string TakeRefusal();
  // True once the time budget is spent (until the next SetDeadline).
  bool Expired() const;
  std::size_t LiveBytes() const { return live_.load(std::memory_order_relaxed); }

 private:
  friend EngineBudget* BudgetOf(fz_context* ctx);
  friend void CheckBudget(fz_context* ctx);
  enum Refusal : int { kNone = 0, kMemory = 1, kTime = 2 };
  static void* Malloc(void* self, std::size_t size);
  static void* Realloc(void* self, void* old, std::size_t size);
  static void Free(void* self, void* block);
  bool Admit(std::size_t more);

  fz_alloc_context allocator_{};
  std::atomic<std::size_t> live_{0};
  std::atomic<std::size_t> ceiling_{kDefaultMemoryCeiling};
  std::atomic<std::int64_t> deadline_{0};  // steady clock nanoseconds; 0 for none
  mutable std::atomic<bool> expired_{false};
  std::atomic<int> refusal_{kNone};
  std::atomic<std::uint32_t> calls_{0};
};


}  // namespace sealrun::platform::pdfengine
