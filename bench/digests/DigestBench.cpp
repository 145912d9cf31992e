// SHA-1 and MD5 over a 64 MiB buffer: ours beside OpenSSL's EVP digests, and the ratio of the two.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include <unistd.h>

#include "support/Md5.h"
#include "support/Sha1.h"
#include "support/Sha1Compress.h"

namespace {

using sealrun::support::Md5;
using sealrun::support::Sha1;

constexpr std::size_t kBufferSize = 64 << 20;

const std::vector<std::uint8_t>& Buffer() {
  static const std::vector<std::uint8_t> buffer = [] {
    std::vector<std::uint8_t> bytes(kBufferSize);
    std::mt19937_64 random(20261207);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
  }();
  return buffer;
}

std::vector<std::uint8_t> OpenSslDigest(const EVP_MD* md, std::span<const std::uint8_t> bytes) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  std::vector<std::uint8_t> digest(EVP_MAX_MD_SIZE);
  unsigned length = 0;
  if (!context || EVP_DigestInit_ex(context.get(), md, nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) {
    return {};
  }
  digest.resize(length);
  return digest;
}

void BM_Sha1Ours(benchmark::State& state) {
  Sha1 sha1;
  for (auto _ : state) {
    sha1.Update(Buffer());
    benchmark::DoNotOptimize(sha1.Finish());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBufferSize));
}

// The portable compression alone, as on processors without SHA instructions.
void BM_Sha1OursPortable(benchmark::State& state) {
  for (auto _ : state) {
    std::array<std::uint32_t, 5> chaining{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    sealrun::support::Sha1CompressPortable(chaining, Buffer().data(), kBufferSize / 64);
    benchmark::DoNotOptimize(chaining);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBufferSize));
}

void BM_Sha1OpenSsl(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(OpenSslDigest(EVP_sha1(), Buffer()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBufferSize));
}

void BM_Md5Ours(benchmark::State& state) {
  Md5 md5;
  for (auto _ : state) {
    md5.Update(Buffer());
    benchmark::DoNotOptimize(md5.Finish());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBufferSize));
}

void BM_Md5OpenSsl(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(OpenSslDigest(EVP_md5(), Buffer()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBufferSize));
}

BENCHMARK(BM_Sha1Ours)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Sha1OursPortable)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Sha1OpenSsl)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Md5Ours)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Md5OpenSsl)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Keeps each benchmark's throughput so the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto counter = run.counters.find("bytes_per_second");
      if (counter != run.counters.end()) throughput_[run.run_name.function_name] = counter->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatio(const std::string& label, const std::string& ours, const std::string& theirs) const {
    const auto o = throughput_.find(ours);
    const auto t = throughput_.find(theirs);
    if (o == throughput_.end() || t == throughput_.end() || t->second <= 0) return;
    std::printf("%s: ours %.0f MB/s, OpenSSL %.0f MB/s, ratio %.2f\n", label.c_str(), o->second / 1e6,
                t->second / 1e6, o->second / t->second);
  }

 private:
  std::map<std::string, double> throughput_;
};

}  // namespace

int main(int argc, char** argv) {
  // A benchmark of a wrong digest measures nothing: check ours against OpenSSL on the buffer first.
  const auto sha1 = Sha1::Digest(sealrun::support::Sha1Digest(Buffer()));
  const auto md5 = sealrun::support::Md5Digest(Buffer());
  if (OpenSslDigest(EVP_sha1(), Buffer()) != std::vector<std::uint8_t>(sha1.begin(), sha1.end()) ||
      OpenSslDigest(EVP_md5(), Buffer()) != std::vector<std::uint8_t>(md5.begin(), md5.end())) {
    std::fprintf(stderr, "bench_digests: our digest differs from OpenSSL's\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("SHA-1 compression in use: %s\n",
              sealrun::support::Sha1HasHardwareCompress() ? "SHA instructions" : "portable");
  reporter.PrintRatio("SHA-1", "BM_Sha1Ours", "BM_Sha1OpenSsl");
  reporter.PrintRatio("SHA-1 portable", "BM_Sha1OursPortable", "BM_Sha1OpenSsl");
  reporter.PrintRatio("MD5", "BM_Md5Ours", "BM_Md5OpenSsl");
  benchmark::Shutdown();
  return 0;
}
