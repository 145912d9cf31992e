// Files sealed per second: 500 one-page files and 20 files of 200 pages, in each stamping mode, as a run
// stamps them after the PIN was accepted (the signed message of a seal annotation and the engine's
// signature of a field included). Beside it, poppler's pdfsig signing the same files with the same key,
// one process per file as a user would run it. Every iteration starts from fresh unsealed copies; making
// them is not timed.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "bench/support/PdfsigKeys.h"
#include "bench/support/SampleFiles.h"
#include "bench/support/SealSession.h"
#include "bench/support/TempFolder.h"
#include "bench/support/ToolProcess.h"

namespace {

namespace fs = std::filesystem;
using sealrun::bench::StampMode;

enum class FileSet { OnePage, Long };

// Everything made once per process, on first use, so that a filtered run makes only what it needs.
struct World {
  sealrun::bench::TempFolder folder{"sealrun-bench-signing"};
  bool longMade = false;
  fs::path longSource;
  bool sessionTried = false;
  std::unique_ptr<sealrun::bench::SealSession> session;
  std::string sessionFailure;
  bool pdfsigTried = false;
  std::unique_ptr<sealrun::bench::PdfsigKeys> pdfsig;
  std::string pdfsigFailure;

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
};

std::unique_ptr<World> world;

int Count(FileSet set) { return set == FileSet::OnePage ? sealrun::bench::kOnePageFiles : sealrun::bench::kLongFiles; }

std::uintmax_t SizeOf(const fs::path& path) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  return error ? 0 : size;
}

void Stamp(benchmark::State& state, FileSet set, StampMode mode) {
  sealrun::bench::SealSession* session = world->Session();
  const fs::path source = world->Source(set);
  if (session == nullptr) return state.SkipWithError(world->sessionFailure.c_str());
  if (source.empty()) return state.SkipWithError("the source file is not available");
  const fs::path folder = world->folder / "ours";
  std::vector<fs::path> files;
  std::int64_t sealed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    files = sealrun::bench::FreshCopies(source, folder, Count(set));
    state.ResumeTiming();
    if (files.empty()) return state.SkipWithError("the copies could not be made");
    for (const auto& file : files) {
      if (const int result = session->Stamp(file, mode); result != 0) {
        const std::string failure = "stamping " + file.filename().string() + " gave " + std::to_string(result);
        return state.SkipWithError(failure.c_str());
      }
    }
    sealed += static_cast<std::int64_t>(files.size());
  }
  state.SetItemsProcessed(sealed);
  state.counters["files"] = static_cast<double>(files.size());
  state.counters["added_KiB"] = static_cast<double>(SizeOf(files.front()) - SizeOf(source)) / 1024.0;
}

void Pdfsig(benchmark::State& state, FileSet set) {
  sealrun::bench::PdfsigKeys* pdfsig = world->Pdfsig();
  const fs::path source = world->Source(set);
  if (pdfsig == nullptr) return state.SkipWithError(world->pdfsigFailure.c_str());
  if (source.empty()) return state.SkipWithError("the source file is not available");
  // pdfsig leaves its input alone and writes the signed file next to it.
  const auto inputs = sealrun::bench::FreshCopies(source, world->folder / "pdfsig-in", Count(set));
  if (inputs.empty()) return state.SkipWithError("the copies could not be made");
  const fs::path outFolder = world->folder / "pdfsig-out";
  std::vector<fs::path> outputs;
  for (const auto& input : inputs) outputs.push_back(outFolder / input.filename());
  std::int64_t signedFiles = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::error_code ignored;
    fs::remove_all(outFolder, ignored);
    fs::create_directories(outFolder, ignored);
    state.ResumeTiming();
    for (size_t i = 0; i < inputs.size(); ++i) {
      const auto run = sealrun::bench::RunProgram(pdfsig->SignCommand(inputs[i], outputs[i]));
      if (run.exitCode != 0) {
        const std::string failure = "pdfsig exit " + std::to_string(run.exitCode) + ": " + run.output;
        return state.SkipWithError(failure.c_str());
      }
    }
    signedFiles += static_cast<std::int64_t>(inputs.size());
  }
  state.SetItemsProcessed(signedFiles);
  state.counters["files"] = static_cast<double>(inputs.size());
  state.counters["added_KiB"] = static_cast<double>(SizeOf(outputs.front()) - SizeOf(source)) / 1024.0;
}

// Wall-clock time: pdfsig's work happens in child processes, which this thread's CPU time does not see.
BENCHMARK_CAPTURE(Stamp, one_page_x500/seal_annotation, FileSet::OnePage, StampMode::SealAnnotation)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Stamp, one_page_x500/signature_field, FileSet::OnePage, StampMode::SignatureField)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Pdfsig, one_page_x500/pdfsig, FileSet::OnePage)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Stamp, pages_200_x20/seal_annotation, FileSet::Long, StampMode::SealAnnotation)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Stamp, pages_200_x20/signature_field, FileSet::Long, StampMode::SignatureField)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Pdfsig, pages_200_x20/pdfsig, FileSet::Long)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  world = std::make_unique<World>();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  world.reset();
  return 0;
}
