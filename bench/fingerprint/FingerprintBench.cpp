// Fingerprint throughput in bytes fed to the digest per second, beside plain SHA-1 over a buffer of the same
// size: the object walk and the stream reads should cost little next to the digest itself. Files: the
// largest corpus file, and a 200-page file made with qpdf from corpus pages.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "external/QpHandles.h"
#include "support/Sha1.h"
#include "verify/DocumentFingerprint.h"

namespace {

namespace fs = std::filesystem;

fs::path CorpusDir() {
  if (const char* dir = std::getenv("SEALRUN_CORPUS"); dir != nullptr) return dir;
  return SEALRUN_BENCH_CORPUS;
}

fs::path LargeCorpusFile() { return CorpusDir() / "pdfjs-tracemonkey.pdf"; }

// 200 pages: the 14 pages of the corpus file repeated, each copy its own page objects.
bool madeFileRequested = false;

fs::path MadeFile() {
  madeFileRequested = true;
  static const fs::path path = [] {
    const fs::path out = fs::temp_directory_path() / ("sealrun-bench-200-" + std::to_string(getpid()) + ".pdf");
    std::string command = "qpdf --empty --pages";
    for (int copy = 0; copy < 15; ++copy) command += " '" + LargeCorpusFile().string() + "' 1-z";
    command += " -- '" + out.string() + "' && qpdf --empty --pages '" + out.string() + "' 1-200 -- '" +
               out.string() + ".200' && mv '" + out.string() + ".200' '" + out.string() + "'";
    if (std::system(command.c_str()) != 0) return fs::path();
    return out;
  }();
  return path;
}

// The document of the file, opened by an engine of its own (the engine is released after the document).
struct OpenedFile {
  sealrun::external::EngineHandle engine = sealrun::external::StartEngine();
  sealrun::external::DocumentHandle document;
  explicit OpenedFile(const fs::path& path) {
    if (engine && !path.empty()) document = sealrun::external::OpenDocument(engine.get(), path.u16string());
  }
};

// Bytes one computation feeds to the digest.
std::uint64_t FedBytes(const fs::path& path) {
  const OpenedFile file(path);
  sealrun::verify::DocumentFingerprint fingerprint;
  if (!file.document || !fingerprint.ComputeDocumentFingerprint(file.document.get())) return 0;
  return fingerprint.FedByteCount();
}

void Fingerprint(benchmark::State& state, const fs::path& path) {
  const OpenedFile file(path);
  if (!file.document) {
    state.SkipWithError("file not available");
    return;
  }
  const auto& document = file.document;
  // The first computation adds the page identifiers; the timed ones read them.
  sealrun::verify::DocumentFingerprint(document.get()).ComputeDocumentFingerprint();
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    sealrun::verify::DocumentFingerprint fingerprint;
    benchmark::DoNotOptimize(fingerprint.ComputeDocumentFingerprint(document.get()));
    bytes += fingerprint.FedByteCount();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["pages"] = qp_page_count(document.get());
}

void PlainSha1(benchmark::State& state, const fs::path& path) {
  const std::uint64_t size = path.empty() ? 0 : FedBytes(path);
  if (size == 0) {
    state.SkipWithError("file not available");
    return;
  }
  std::vector<std::uint8_t> buffer(size);
  for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<std::uint8_t>(i * 131 + 7);
  sealrun::support::Sha1 sha1;
  for (auto _ : state) {
    sha1.Update(buffer);
    benchmark::DoNotOptimize(sha1.Finish());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void BM_FingerprintCorpusFile(benchmark::State& state) { Fingerprint(state, LargeCorpusFile()); }
void BM_Sha1CorpusFileBytes(benchmark::State& state) { PlainSha1(state, LargeCorpusFile()); }
void BM_FingerprintMade200Pages(benchmark::State& state) { Fingerprint(state, MadeFile()); }
void BM_Sha1Made200PagesBytes(benchmark::State& state) { PlainSha1(state, MadeFile()); }

BENCHMARK(BM_FingerprintCorpusFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sha1CorpusFileBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FingerprintMade200Pages)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sha1Made200PagesBytes)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (madeFileRequested && !MadeFile().empty()) fs::remove(MadeFile());
  return 0;
}
