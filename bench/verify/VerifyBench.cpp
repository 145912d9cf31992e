// Sealed files verified per second: 500 one-page files and 20 files of 200 pages, each sealed once at
// start-up with the run's own stamping (one seal per file), in each mode. Beside it, poppler's pdfsig
// validating the signature-field files, one process per file, with -nocert (digest and signature only) and
// with the certificate chain, one process at a time and two at a time, and pdfsig's process start alone. The
// batch cases run the files as a verification run does, on one worker and on two (this machine's cores); the
// others verify one file after another on the caller's engine. Every file must come out valid; a verdict that
// is not is reported as an error instead of a figure.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/support/PdfsigKeys.h"
#include "bench/support/SampleFiles.h"
#include "bench/support/SealSession.h"
#include "bench/support/TempFolder.h"
#include "bench/support/ToolProcess.h"
#include "verify/DocumentVerification.h"
#include "verify/RowOutcome.h"
#include "verify/VerificationWorkers.h"

namespace {

namespace fs = std::filesystem;
using sealrun::bench::StampMode;

enum class FileSet { OnePage, Long };
enum class Certificates { Unchecked, Checked };

constexpr char16_t kOneValidSeal[] = u"印章总数:1 有效:1 失效:0";

struct SealedSet {
  std::vector<fs::path> files;
  std::string failure;
};

// Everything made once per process, on first use, so that a filtered run seals only what it measures.
struct World {
  sealrun::bench::TempFolder folder{"sealrun-bench-verify"};
  bool longMade = false;
  fs::path longSource;
  bool sessionTried = false;
  std::unique_ptr<sealrun::bench::SealSession> session;
  std::string sessionFailure;
  bool pdfsigTried = false;
  std::unique_ptr<sealrun::bench::PdfsigKeys> pdfsig;
  std::string pdfsigFailure;
  std::map<std::pair<FileSet, StampMode>, SealedSet> sealed;

  fs::path Source(FileSet set) {
    if (set == FileSet::OnePage) return fs::exists(sealrun::bench::OnePageSource()) ? sealrun::bench::OnePageSource() : fs::path();
    if (!std::exchange(longMade, true)) longSource = sealrun::bench::MakeLongSource(folder.Path());
    return longSource;
  }
  sealrun::bench::SealSession* Session() {
    if (!std::exchange(sessionTried, true)) session = sealrun::bench::SealSession::Create(sessionFailure);
    return session.get();
  }
  sealrun::bench::PdfsigKeys* Pdfsig() {
    if (!std::exchange(pdfsigTried, true)) pdfsig = sealrun::bench::PdfsigKeys::Create(pdfsigFailure);
    return pdfsig.get();
  }
  const SealedSet& Sealed(FileSet set, StampMode mode);
};

std::unique_ptr<World> world;

const SealedSet& World::Sealed(FileSet set, StampMode mode) {
  const auto key = std::make_pair(set, mode);
  if (const auto found = sealed.find(key); found != sealed.end()) return found->second;
  SealedSet& made = sealed[key];
  const fs::path source = Source(set);
  if (Session() == nullptr) return made.failure = sessionFailure, made;
  if (source.empty()) return made.failure = "the source file is not available", made;
  const std::string name = std::string(set == FileSet::OnePage ? "one-page" : "long") +
                           (mode == StampMode::SealAnnotation ? "-annotation" : "-field");
  made.files = sealrun::bench::FreshCopies(source, folder / name, set == FileSet::OnePage ? sealrun::bench::kOnePageFiles
                                                                                          : sealrun::bench::kLongFiles);
  if (made.files.empty()) return made.failure = "the copies could not be made", made;
  for (const auto& file : made.files)
    if (const int result = session->Stamp(file, mode); result != 0) {
      made.files.clear();
      made.failure = "stamping " + file.filename().string() + " gave " + std::to_string(result);
      break;
    }
  return made;
}

void Verify(benchmark::State& state, FileSet set, StampMode mode) {
  const SealedSet& sealed = world->Sealed(set, mode);
  if (!sealed.failure.empty()) return state.SkipWithError(sealed.failure.c_str());
  std::vector<int> failedRows;
  const sealrun::verify::RowOutcome outcome{failedRows, nullptr};
  std::int64_t verified = 0;
  for (auto _ : state) {
    for (size_t row = 0; row < sealed.files.size(); ++row) {
      const std::u16string path = sealed.files[row].u16string();
      const sealrun::verify::VerificationResult result =
          mode == StampMode::SealAnnotation
              ? sealrun::verify::VerifySealAnnotations(world->session->Engine(), path, static_cast<int>(row), outcome)
              : sealrun::verify::VerifySignatureFields(world->session->Engine(), path, static_cast<int>(row), outcome);
      if (result.Code() != 0 || result.Text() != kOneValidSeal) {
        const std::string failure = sealed.files[row].filename().string() + " does not verify as one valid seal";
        return state.SkipWithError(failure.c_str());
      }
    }
    verified += static_cast<std::int64_t>(sealed.files.size());
  }
  state.SetItemsProcessed(verified);
  state.counters["files"] = static_cast<double>(sealed.files.size());
}

// The run as the batch dialog drives it: files handed to `workers` threads, each with an engine of its own,
// results taken in row order. One worker is the caller's thread on the session's engine.
void VerifyBatch(benchmark::State& state, FileSet set, StampMode mode) {
  const SealedSet& sealed = world->Sealed(set, mode);
  if (!sealed.failure.empty()) return state.SkipWithError(sealed.failure.c_str());
  const int workers = static_cast<int>(state.range(0));
  std::vector<std::u16string> paths;
  for (const auto& file : sealed.files) paths.push_back(file.u16string());
  const sealrun::verify::FileExaminer examine = [mode](qp_engine engine, std::u16string_view path) {
    return mode == StampMode::SealAnnotation ? sealrun::verify::VerifySealAnnotationsOf(engine, path)
                                             : sealrun::verify::VerifySignatureFieldsOf(engine, path);
  };
  std::int64_t verified = 0;
  for (auto _ : state) {
    sealrun::verify::VerificationWorkers run(world->session->Engine(), paths, examine, workers);
    for (size_t row = 0; row < paths.size(); ++row) {
      std::optional<sealrun::verify::VerificationResult> result;
      while (!(result = run.Take(row, std::chrono::milliseconds(25)))) {
      }
      if (result->Code() != 0 || result->Text() != kOneValidSeal) {
        const std::string failure = sealed.files[row].filename().string() + " does not verify as one valid seal";
        return state.SkipWithError(failure.c_str());
      }
    }
    verified += static_cast<std::int64_t>(paths.size());
  }
  state.SetItemsProcessed(verified);
  state.counters["files"] = static_cast<double>(paths.size());
  state.counters["workers"] = workers;
}

// pdfsig -nocert checks the digest and the signature only, and says so once per signature.
bool NocertReportsOneValid(const std::string& report) {
  const std::string valid = "Signature Validation: Signature is Valid.";
  const auto at = report.find(valid);
  return at != std::string::npos && report.find("Signature Validation:", at + valid.size()) == std::string::npos;
}

void Pdfsig(benchmark::State& state, FileSet set, Certificates certificates) {
  const SealedSet& sealed = world->Sealed(set, StampMode::SignatureField);
  sealrun::bench::PdfsigKeys* pdfsig = world->Pdfsig();
  if (!sealed.failure.empty()) return state.SkipWithError(sealed.failure.c_str());
  if (pdfsig == nullptr) return state.SkipWithError(world->pdfsigFailure.c_str());
  const bool checked = certificates == Certificates::Checked;
  const auto processes = static_cast<int>(state.range(0));
  // Each of `processes` threads runs one pdfsig after another, taking the next file from the set.
  const auto runFiles = [&](std::atomic<std::size_t>& next, std::string& failure) {
    for (std::size_t i = next++; i < sealed.files.size(); i = next++) {
      const fs::path& file = sealed.files[i];
      const auto run = sealrun::bench::RunProgram(
          checked ? pdfsig->VerifyCommand(file) : std::vector<std::string>{"pdfsig", "-nocert", file.string()});
      const bool valid = checked ? sealrun::bench::PdfsigReportsAllValid(run.output, 1) : NocertReportsOneValid(run.output);
      if (run.exitCode != 0 || !valid) {
        failure = "pdfsig on " + file.filename().string() + ": " + run.output;
        return;
      }
    }
  };
  std::int64_t verified = 0;
  for (auto _ : state) {
    std::atomic<std::size_t> next{0};
    std::vector<std::string> failures(static_cast<std::size_t>(processes));
    std::vector<std::thread> threads;
    for (int i = 1; i < processes; ++i)
      threads.emplace_back(runFiles, std::ref(next), std::ref(failures[static_cast<std::size_t>(i)]));
    runFiles(next, failures[0]);
    for (auto& thread : threads) thread.join();
    for (const auto& failure : failures)
      if (!failure.empty()) return state.SkipWithError(failure.c_str());
    verified += static_cast<std::int64_t>(sealed.files.size());
  }
  state.SetItemsProcessed(verified);
  state.counters["files"] = static_cast<double>(sealed.files.size());
  state.counters["processes"] = processes;
}

// pdfsig started and asked only for its version, once per item: the process start and library loading that
// pdfsig pays for every file before it reads it. It differs a lot between machines, so each run shows how much
// of pdfsig's time per file it is there.
void PdfsigStart(benchmark::State& state) {
  for (auto _ : state) {
    if (sealrun::bench::RunProgram({"pdfsig", "-v"}).exitCode != 0) return state.SkipWithError("pdfsig -v failed");
  }
  state.SetItemsProcessed(state.iterations());
}

// Wall-clock time: pdfsig's work happens in child processes, which this thread's CPU time does not see.
BENCHMARK_CAPTURE(Verify, one_page_x500/seal_annotation, FileSet::OnePage, StampMode::SealAnnotation)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Verify, one_page_x500/signature_field, FileSet::OnePage, StampMode::SignatureField)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(VerifyBatch, one_page_x500/seal_annotation, FileSet::OnePage, StampMode::SealAnnotation)
    ->Arg(1)->Arg(2)->ArgName("workers")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(VerifyBatch, one_page_x500/signature_field, FileSet::OnePage, StampMode::SignatureField)
    ->Arg(1)->Arg(2)->ArgName("workers")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Pdfsig, one_page_x500/pdfsig_nocert, FileSet::OnePage, Certificates::Unchecked)
    ->Arg(1)->Arg(2)->ArgName("processes")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Pdfsig, one_page_x500/pdfsig, FileSet::OnePage, Certificates::Checked)
    ->Arg(1)->Arg(2)->ArgName("processes")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Verify, pages_200_x20/seal_annotation, FileSet::Long, StampMode::SealAnnotation)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Verify, pages_200_x20/signature_field, FileSet::Long, StampMode::SignatureField)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(VerifyBatch, pages_200_x20/seal_annotation, FileSet::Long, StampMode::SealAnnotation)
    ->Arg(1)->Arg(2)->ArgName("workers")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(VerifyBatch, pages_200_x20/signature_field, FileSet::Long, StampMode::SignatureField)
    ->Arg(1)->Arg(2)->ArgName("workers")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Pdfsig, pages_200_x20/pdfsig_nocert, FileSet::Long, Certificates::Unchecked)
    ->Arg(1)->Arg(2)->ArgName("processes")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Pdfsig, pages_200_x20/pdfsig, FileSet::Long, Certificates::Checked)
    ->Arg(1)->Arg(2)->ArgName("processes")->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK(PdfsigStart)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  world = std::make_unique<World>();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  world.reset();
  return 0;
}
