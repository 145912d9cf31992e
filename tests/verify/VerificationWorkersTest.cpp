// The verification workers: engines are never shared between threads, results come back for the row asked
// whatever order the files finish in, a failure thrown for one file reaches the caller at that file's row,
// and a run that is left early stops handing out files.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "tests/testsupport/TempDir.h"
#include "verify/VerificationWorkers.h"

namespace sealrun::verify::testing {
namespace {

using namespace std::chrono_literals;

std::vector<std::u16string> Rows(int count) {
  std::vector<std::u16string> files;
  for (int i = 0; i < count; ++i) files.push_back(u"file-" + std::u16string(1, static_cast<char16_t>(u'a' + i)));
  return files;
}

// The row a file name stands for; a result of `row` valid seals tells the rows apart.
int RowOf(std::u16string_view path) { return path.back() - u'a'; }

VerificationResult Waited(VerificationWorkers& workers, std::size_t row) {
  for (;;)
    if (std::optional<VerificationResult> result = workers.Take(row, 50ms)) return *result;
}

TEST(VerificationWorkers, EachEngineServesOneThreadAndResultsComeBackByRow) {
  const std::vector<std::u16string> files = Rows(12);
  std::mutex mutex;
  std::map<qp_engine, std::set<std::thread::id>> threadsOfEngine;
  const FileExaminer examine = [&](qp_engine engine, std::u16string_view path) {
    {
      const std::lock_guard lock(mutex);
      threadsOfEngine[engine].insert(std::this_thread::get_id());
    }
    const int row = RowOf(path);
    // Early rows finish last, so rows come back out of order.
    std::this_thread::sleep_for(std::chrono::milliseconds((12 - row) * 2));
    return VerificationResult::Examined(row, row % 3 == 0 ? 1 : 0);
  };
  VerificationWorkers workers(nullptr, files, examine, 3);
  ASSERT_EQ(workers.Threads(), 3);
  for (std::size_t row = 0; row < files.size(); ++row) {
    const VerificationResult result = Waited(workers, row);
    EXPECT_EQ(result.Valid(), static_cast<int>(row));
    EXPECT_EQ(result.Invalid(), row % 3 == 0 ? 1 : 0);
  }
  for (const auto& [engine, threads] : threadsOfEngine) {
    EXPECT_NE(engine, nullptr);
    EXPECT_EQ(threads.size(), 1u);
  }
  EXPECT_LE(threadsOfEngine.size(), 3u);
}

TEST(VerificationWorkers, FewerThanTwoWorkersVerifyInTheCallersThreadOnItsEngine) {
  const std::vector<std::u16string> files = Rows(3);
  const auto callerEngine = reinterpret_cast<qp_engine>(0x1234);
  const std::thread::id caller = std::this_thread::get_id();
  int examined = 0;
  const FileExaminer examine = [&](qp_engine engine, std::u16string_view path) {
    EXPECT_EQ(engine, callerEngine);
    EXPECT_EQ(std::this_thread::get_id(), caller);
    ++examined;
    return VerificationResult::Examined(RowOf(path), 0);
  };
  VerificationWorkers workers(callerEngine, files, examine, 1);
  EXPECT_EQ(workers.Threads(), 0);
  EXPECT_EQ(examined, 0);  // nothing is verified before it is asked for
  EXPECT_EQ(workers.Take(1, 0ms)->Valid(), 1);
  EXPECT_EQ(examined, 1);
  // One file needs no thread either.
  VerificationWorkers single(callerEngine, Rows(1), examine, 4);
  EXPECT_EQ(single.Threads(), 0);
  EXPECT_EQ(single.Take(0, 0ms)->Valid(), 0);
}

TEST(VerificationWorkers, AFailureIsThrownAtItsOwnRowAndTheOthersStillCome) {
  const std::vector<std::u16string> files = Rows(5);
  const FileExaminer examine = [](qp_engine, std::u16string_view path) {
    if (RowOf(path) == 2) throw std::runtime_error("no memory left");
    return VerificationResult::Examined(RowOf(path), 0);
  };
  VerificationWorkers workers(nullptr, files, examine, 2);
  ASSERT_EQ(workers.Threads(), 2);
  EXPECT_EQ(Waited(workers, 0).Valid(), 0);
  EXPECT_EQ(Waited(workers, 1).Valid(), 1);
  EXPECT_THROW(Waited(workers, 2), std::runtime_error);
  EXPECT_EQ(Waited(workers, 3).Valid(), 3);
  EXPECT_EQ(Waited(workers, 4).Valid(), 4);
}

TEST(VerificationWorkers, ARunLeftEarlyStopsHandingOutFilesAndJoins) {
  const std::vector<std::u16string> files = Rows(20);
  std::atomic<int> examined{0};
  const FileExaminer examine = [&](qp_engine, std::u16string_view path) {
    ++examined;
    std::this_thread::sleep_for(20ms);
    return VerificationResult::Examined(RowOf(path), 0);
  };
  {
    VerificationWorkers workers(nullptr, files, examine, 2);
    EXPECT_EQ(Waited(workers, 0).Valid(), 0);
    // The last file cannot be done yet: two workers take ten turns of 20 ms to reach it.
    EXPECT_FALSE(workers.Take(19, 1ms).has_value());
  }
  EXPECT_LT(examined.load(), 20);
}

TEST(VerificationWorkers, WorkerCountFollowsFilesAndTraces) {
  EXPECT_EQ(VerificationWorkerCount(1), 1);
  EXPECT_GE(VerificationWorkerCount(100), 1);
  EXPECT_LE(VerificationWorkerCount(100), 4);
  EXPECT_LE(VerificationWorkerCount(2), 2);
  const sealrun::testing::ScopedEnv traces("SEALRUN_DEBUG", "1");
  EXPECT_EQ(VerificationWorkerCount(100), 1);
}

}  // namespace
}  // namespace sealrun::verify::testing
