#pragma once
// The files of a verification run, verified on worker threads so that a batch uses the machine's cores.
// Each worker has an engine of its own (an engine serves one thread), and verification only reads files,
// so files may be verified in any order; results are handed back in row order, so a run reports, fails and
// highlights rows exactly as one file after another would.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "external/qp.h"
#include "verify/VerificationResult.h"

namespace sealrun::verify {

// One file's verification on the engine it is handed; called on a worker thread.
using FileExaminer = std::function<VerificationResult(qp_engine engine, std::u16string_view path)>;

// How many workers a run of `files` files uses: one per hardware thread, at most four (each engine may
// hold up to its memory ceiling), never more than there are files. One, in the caller's thread, when debug
// traces are on, so that a file's trace lines stay together and in row order.
int VerificationWorkerCount(std::size_t files);

class VerificationWorkers {
 public:
  // Starts `workers` threads when that is two or more and their engines start; otherwise every file is
  // verified in the caller's thread, on `callerEngine`, as its result is taken.
  VerificationWorkers(qp_engine callerEngine, const std::vector<std::u16string>& files, FileExaminer examine,
                      int workers);
  // Hands out no more files, lets the files in hand finish, and joins the workers.
  ~VerificationWorkers();
  VerificationWorkers(const VerificationWorkers&) = delete;
  VerificationWorkers& operator=(const VerificationWorkers&) = delete;

  // The number of threads verifying (0: the caller's thread does).
  int Threads() const { return static_cast<int>(threads_.size()); }
  // The result of file `row`, waiting at most `wait` for it; nullopt while it is not ready. Rows are taken
  // in order, each once. What the examiner threw is thrown here, in the caller's thread.
  std::optional<VerificationResult> Take(std::size_t row, std::chrono::milliseconds wait);

 private:
  struct Slot {
    std::optional<VerificationResult> result;
    std::exception_ptr failure;
  };

  void Work(qp_engine engine);

  qp_engine callerEngine_;
  const std::vector<std::u16string> files_;
  FileExaminer examine_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::size_t next_ = 0;  // the next file handed out
  bool stopping_ = false;
  std::vector<Slot> slots_;
  std::vector<std::thread> threads_;
};

}  // namespace sealrun::verify
