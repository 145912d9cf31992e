// Time and memory of one file of a run for each hostile file in tests/data/hostile: open, then verify in both
// modes as a verification run does, under the run's per-file time budget. The counters give the verdict and
// the process's peak resident memory after the benchmark (run one file per process for a figure per file:
// --benchmark_filter=count for example).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>

#include "external/QpHandles.h"
#include "verify/DocumentVerification.h"

namespace {

double PeakResidentMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void VerifyHostile(benchmark::State& state, const char* name) {
  const sealrun::external::EngineHandle engine = sealrun::external::StartEngine();
  if (!engine) {
    state.SkipWithError("the engine did not start");
    return;
  }
  const std::string path = std::string(SEALRUN_BENCH_HOSTILE) + "/" + name;
  const std::u16string wide(path.begin(), path.end());
  std::vector<int> failed;
  const sealrun::verify::RowOutcome outcome{failed, nullptr};
  int opened = 0;
  int invalid = 0;
  for (auto _ : state) {
    const auto annotations = sealrun::verify::VerifySealAnnotations(engine.get(), wide, 0, outcome);
    const auto fields = sealrun::verify::VerifySignatureFields(engine.get(), wide, 0, outcome);
    opened = annotations.Opened() && fields.Opened() ? 1 : 0;
    invalid = annotations.Invalid() + fields.Invalid();
    benchmark::DoNotOptimize(invalid);
  }
  state.counters["opened"] = opened;
  state.counters["invalid_seals"] = invalid;
  state.counters["peak_rss_MiB"] = PeakResidentMiB();
}

BENCHMARK_CAPTURE(VerifyHostile, count_2147483647, "count-2147483647.pdf")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(VerifyHostile, record_flate_bomb, "record-flate-bomb.pdf")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(VerifyHostile, shared_id_2000, "shared-id-2000.pdf")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(VerifyHostile, xref_8000000, "xref-8000000.pdf")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
