// Online signing of 200 one-page files against a tramex-server on loopback, started by the benchmark:
// per file the engine opens the document, a signature field is added, the document is saved with room for
// the signature, the server is asked to sign and to verify, and the CMS is merged. Reported: files per
// second (wall clock) and the share of that time spent inside the HTTP exchanges; once over plain HTTP and
// once over HTTPS (a certificate made for the run with the openssl command line, trusted through
// SEALRUN_TLS_CA_FILE), each exchange on its own connection as the add-in makes them.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "bench/online/ServerProcess.h"
#include "bench/online/TimedTransport.h"
#include "external/QpHandles.h"
#include "platform/text/Utf.h"
#include "protocol/PacketTransport.h"
#include "signing/SignOnline.h"

namespace {

namespace fs = std::filesystem;
using namespace sealrun;

constexpr int kFiles = 200;

fs::path Corpus() {
  const char* env = std::getenv("SEALRUN_CORPUS");
  return env != nullptr ? fs::path(env) : fs::path(SEALRUN_BENCH_CORPUS);
}

// The benchmark's files and the server's log, removed when the program ends.
class ScratchDir {
 public:
  ScratchDir() : path_(fs::temp_directory_path() / ("sealrun-bench-online-" + std::to_string(::getpid()))) {
    fs::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// Opens the file, adds a signature field on its first page and signs it online; the engine's or the
// signer's result, or -100 when the field cannot be made.
int SignOneFile(qp_engine engine, const fs::path& path, const signing::OnlineSigner& signer) {
  external::DocumentHandle document;
  if (const int opened = external::OpenDocument(engine, path.u16string(), document); opened != QP_OK) return opened;
  const external::PageHandle page = external::LoadPage(document.get(), 0);
  if (!page) return -100;
  qp_field field = qp_acroform_create_form_field(document.get(), QP_FIELD_SIGNATURE);
  if (field == nullptr) return -100;
  const external::StringHandle name = external::MakeEngineString(u"Signature1");
  if (!name || qp_field_set_name(field, name.get()) != QP_OK) return -100;
  const external::SignatureHandle signature(qp_field_create_signature(field));
  qp_annot widget = qp_page_add_form_field(page.get(), field);
  if (!signature || widget == nullptr || qp_annot_set_rect(widget, 20, 20, 120, 80) != QP_OK) return -100;
  return signing::SignOnlineAndCommit(signer, document.get(), signature.get()).Code();
}

// A CA and a server certificate for 127.0.0.1 in the folder (ca.pem, server.pem, server.key); false when the
// openssl command line fails.
bool MakeServerCertificate(const fs::path& folder) {
  const std::string config = (folder / "openssl.cnf").string();
  {
    std::ofstream out(config);
    out << "[req]\ndistinguished_name = dn\n[dn]\n[ca]\nbasicConstraints = critical,CA:TRUE\n"
           "keyUsage = critical,keyCertSign\n[server]\nbasicConstraints = critical,CA:FALSE\n"
           "subjectAltName = IP:127.0.0.1\nextendedKeyUsage = serverAuth\n";
  }
  const std::string at = "'" + folder.string() + "/";
  const std::string common = "openssl req -x509 -config '" + config +
                             "' -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 ";
  return std::system((common + "-extensions ca -subj /CN=bench-ca -keyout " + at + "ca.key' -out " + at +
                      "ca.pem' 2>/dev/null").c_str()) == 0 &&
         std::system((common + "-extensions server -subj /CN=127.0.0.1 -CA " + at + "ca.pem' -CAkey " + at +
                      "ca.key' -keyout " + at + "server.key' -out " + at + "server.pem' 2>/dev/null").c_str()) == 0;
}

enum class Scheme { Http, Https };

// SEALRUN_TLS_CA_FILE for the length of one benchmark: the client trusts the run's own CA.
class TrustAnchorsForRun {
 public:
  explicit TrustAnchorsForRun(const fs::path& file) { setenv("SEALRUN_TLS_CA_FILE", file.c_str(), 1); }
  ~TrustAnchorsForRun() { unsetenv("SEALRUN_TLS_CA_FILE"); }
  TrustAnchorsForRun(const TrustAnchorsForRun&) = delete;
  TrustAnchorsForRun& operator=(const TrustAnchorsForRun&) = delete;
};

void SignOnePageFiles(benchmark::State& state, Scheme scheme) {
  const fs::path source = Corpus() / "pypdf-crazyones.pdf";
  if (!fs::exists(source)) {
    state.SkipWithError("corpus file pypdf-crazyones.pdf missing");
    return;
  }
  const ScratchDir scratch;
  std::vector<std::string> serverArguments;
  if (scheme == Scheme::Https) {
    if (!MakeServerCertificate(scratch.Path())) {
      state.SkipWithError("the openssl command line could not make a server certificate");
      return;
    }
    serverArguments = {"--tls-cert", (scratch.Path() / "server.pem").string(), "--tls-key",
                       (scratch.Path() / "server.key").string()};
  }
  std::optional<TrustAnchorsForRun> trust;
  if (scheme == Scheme::Https) trust.emplace(scratch.Path() / "ca.pem");
  const auto server = bench::ServerProcess::Start(TRAMEX_SERVER_PROGRAM, scratch.Path() / "server.log", serverArguments);
  if (!server) {
    state.SkipWithError("tramex-server did not start");
    return;
  }
  const external::EngineHandle engine = external::StartEngine();
  if (!engine) {
    state.SkipWithError("engine did not start");
    return;
  }

  protocol::HttpPacketTransport http;
  bench::TimedTransport timed(http);
  const signing::OnlineSigner signer = signing::MakeOnlineSigner(
      {platform::text::Utf8ToUtf16(server->Url()), u"ZQ-DEMO-0001", u"SEAL-0007"}, &timed);

  std::vector<fs::path> files;
  for (int i = 0; i < kFiles; ++i) files.push_back(scratch.Path() / ("file-" + std::to_string(i) + ".pdf"));
  std::chrono::nanoseconds signing{0};
  std::int64_t signedFiles = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (const fs::path& file : files) {
      fs::copy_file(source, file, fs::copy_options::overwrite_existing);
      fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    }
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    for (const fs::path& file : files) {
      const int result = SignOneFile(engine.get(), file, signer);
      if (result != 0) {
        state.SkipWithError(("signing " + file.filename().string() + " gave " + std::to_string(result)).c_str());
        return;
      }
      ++signedFiles;
    }
    signing += std::chrono::steady_clock::now() - start;
  }
  const double exchanges = static_cast<double>(timed.Exchanges());
  state.counters["files_per_s"] = benchmark::Counter(static_cast<double>(signedFiles), benchmark::Counter::kIsRate);
  state.counters["http_share"] =
      signing.count() > 0 ? static_cast<double>(timed.Spent().count()) / static_cast<double>(signing.count()) : 0.0;
  state.counters["ms_per_exchange"] =
      exchanges > 0 ? std::chrono::duration<double, std::milli>(timed.Spent()).count() / exchanges : 0.0;
  state.counters["exchanges_per_file"] = signedFiles > 0 ? exchanges / static_cast<double>(signedFiles) : 0.0;
  state.counters["empty_answers"] = static_cast<double>(timed.EmptyAnswers());
  // Every signing request and every verification request left one log line.
  state.counters["server_log_lines"] = static_cast<double>(server->RequestLines());
}

void BM_OnlineSignOnePageFiles(benchmark::State& state) { SignOnePageFiles(state, Scheme::Http); }
void BM_OnlineSignOnePageFilesHttps(benchmark::State& state) { SignOnePageFiles(state, Scheme::Https); }
BENCHMARK(BM_OnlineSignOnePageFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_OnlineSignOnePageFilesHttps)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
