// How saving one stamp grows with the file: open, add an image stamp, save (an incremental update
// written to a copy that replaces the file), on a 1-page file, a 200-page file and a 50 MB file.
// For the ratio, the same change made by qpdf rewriting the file (--update-from-json), and the
// plain sequential copy that the atomic save costs.
//
// Files come from the corpus folder (SEALRUN_CORPUS, default tests/data/corpus of the repository)
// and are built once in a temporary folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>

#include "external/QpHandles.h"

namespace {

namespace fs = std::filesystem;

std::string Run(const std::string& command) {
  std::string output;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  ::pclose(pipe);
  return output;
}

fs::path Corpus() {
  const char* env = std::getenv("SEALRUN_CORPUS");
  return env != nullptr ? fs::path(env) : fs::path(SEALRUN_BENCH_CORPUS);
}

// The benchmark's files, removed when the program ends (the large one is 50 MB).
class ScratchDir {
 public:
  ScratchDir() : path_(fs::temp_directory_path() / ("sealrun-bench-engine-" + std::to_string(::getpid()))) {
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

fs::path WorkDir() {
  static const ScratchDir dir;
  return dir.Path();
}

// A one-page file carrying a 50 MB stream that the page refers to.
void WriteLargeFile(const fs::path& path) {
  std::ofstream out(path, std::ios::binary);
  std::string data(50u << 20, '\0');
  std::mt19937 random(7);
  for (auto& c : data) c = static_cast<char>(random());
  std::vector<long> offsets;
  auto object = [&](const std::string& text) {
    offsets.push_back(static_cast<long>(out.tellp()));
    out << offsets.size() << " 0 obj\n" << text << "\nendobj\n";
  };
  out << "%PDF-1.4\n";
  object("<</Type/Catalog/Pages 2 0 R>>");
  object("<</Type/Pages/Count 1/Kids[3 0 R]>>");
  object("<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Contents 5 0 R/Resources<<>>/PieceInfo<</Data 4 0 R>>>>");
  offsets.push_back(static_cast<long>(out.tellp()));
  out << "4 0 obj\n<</Length " << data.size() << ">>\nstream\n" << data << "\nendstream\nendobj\n";
  object("<</Length 22>>\nstream\n0 0 1 rg 0 0 9 9 re f\nendstream");
  const long xref = static_cast<long>(out.tellp());
  out << "xref\n0 " << offsets.size() + 1 << "\n0000000000 65535 f \n";
  char line[32];
  for (long offset : offsets) {
    std::snprintf(line, sizeof line, "%010ld 00000 n \n", offset);
    out << line;
  }
  out << "trailer\n<</Size " << offsets.size() + 1 << "/Root 1 0 R>>\nstartxref\n" << xref << "\n%%EOF\n";
}

const fs::path& Source(int which) {
  static const fs::path one = Corpus() / "pypdf-crazyones.pdf";
  static const fs::path many = [] {
    const fs::path path = WorkDir() / "pages200.pdf";
    const std::string book = (Corpus() / "texlive-latex-notes-zh-cn.pdf").string();
    Run("qpdf --empty --pages '" + book + "' 1-z '" + book + "' 1-93 -- '" + path.string() + "'");
    return path;
  }();
  static const fs::path large = [] {
    const fs::path path = WorkDir() / "large50mb.pdf";
    WriteLargeFile(path);
    return path;
  }();
  return which == 0 ? one : which == 1 ? many : large;
}

fs::path FreshCopy(int which) {
  const fs::path target = WorkDir() / ("work-" + std::to_string(which) + ".pdf");
  fs::copy_file(Source(which), target, fs::copy_options::overwrite_existing);
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  return target;
}

void Label(benchmark::State& state, int which) {
  static const char* const kNames[] = {"1 page", "200 pages", "50 MB"};
  state.SetLabel(std::string(kNames[which]) + ", " + std::to_string(fs::file_size(Source(which)) / 1024) + " KiB");
}

void BM_EngineStampAndSave(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const sealrun::external::EngineHandle engine = sealrun::external::StartEngine();
  const std::string pixels(64 * 64 * 3, '\x40');
  double appended = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path path = FreshCopy(which);
    const auto before = fs::file_size(path);
    state.ResumeTiming();
    {
      const sealrun::external::DocumentHandle document =
          sealrun::external::OpenDocument(engine.get(), path.u16string());
      if (!document) state.SkipWithError("open failed");
      {
        const sealrun::external::PageHandle page = sealrun::external::LoadPage(document.get(), 0);
        qp_annot annot = qp_page_create_annotation(page.get(), QP_ANNOT_IMAGE_STAMP);
        qp_annot_set_rect(annot, 100, 100, 200, 200);
        qp_annot_set_blendmode(annot, "Multiply");
        const sealrun::external::ImageHandle image(
            qp_image_create_from_data(document.get(), 64, 64, 8, QP_COLORSPACE_RGB, pixels.data(), pixels.size()));
        qp_annot_set_image_appearance_from_handle(annot, image.get());
      }
      if (qp_document_save(document.get()) != QP_OK) state.SkipWithError("save failed");
    }
    state.PauseTiming();
    appended = static_cast<double>(fs::file_size(path) - before);
    state.ResumeTiming();
  }
  state.counters["bytes_appended"] = appended;
  Label(state, which);
}

// The same stamp added by qpdf, which writes the whole file anew.
void BM_QpdfRewrite(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const fs::path source = Source(which);
  const std::string pages = Run("qpdf --show-pages '" + source.string() + "'");
  std::smatch match;
  const std::string pageNumber = std::regex_search(pages, match, std::regex(R"(page 1: (\d+) 0 R)")) ? match[1].str() : "3";
  std::string objects = "--json-object=" + pageNumber;
  const std::string pageJson = Run("qpdf --json-output " + objects + " --json-key=qpdf '" + source.string() + "'");
  std::smatch indirect;
  const bool annotsIndirect = std::regex_search(pageJson, indirect, std::regex(R"re("/Annots": "(\d+) 0 R")re"));
  if (annotsIndirect) objects += " --json-object=" + indirect[1].str();
  std::string json = Run("qpdf --json-output " + objects + " --json-key=qpdf '" + source.string() + "'");
  // The page's /Annots (or the array it refers to) gets the annotation, a new object.
  if (annotsIndirect) {
    const auto array = json.find("\"obj:" + indirect[1].str() + " 0 R\": {");
    const auto value = json.find("\"value\": [", array);
    if (value != std::string::npos) json.insert(value + 10, "\"999999 0 R\", ");
  } else if (const auto annots = json.find("\"/Annots\": ["); annots != std::string::npos) {
    json.insert(annots + 12, "\"999999 0 R\", ");
  } else if (const auto value = json.find("\"value\": {"); value != std::string::npos) {
    json.insert(value + 10, "\"/Annots\": [\"999999 0 R\"], ");
  }
  const auto firstObject = json.find("\"obj:");
  if (firstObject != std::string::npos)
    json.insert(firstObject, R"("obj:999999 0 R": {"value": {"/Type": "/Annot", "/Subtype": "/Stamp", "/Rect": [100, 100, 200, 200], "/F": 4}}, )");
  const fs::path update = WorkDir() / ("update-" + std::to_string(which) + ".json");
  {
    std::ofstream out(update);
    out << json;
  }
  const fs::path target = WorkDir() / ("qpdf-out-" + std::to_string(which) + ".pdf");
  for (auto _ : state) {
    Run("qpdf '" + source.string() + "' --update-from-json='" + update.string() + "' '" + target.string() + "' 2>&1");
  }
  state.counters["bytes_written"] = static_cast<double>(fs::exists(target) ? fs::file_size(target) : 0);
  if (Run("grep -c -a /Stamp '" + target.string() + "'").rfind("0", 0) == 0) state.SkipWithError("qpdf did not add the stamp");
  Label(state, which);
}

// What the atomic save adds: a sequential copy of the file beside itself, flushed to disk.
void BM_AtomicCopy(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const fs::path target = WorkDir() / "copy.pdf";
  for (auto _ : state) {
    fs::copy_file(Source(which), target, fs::copy_options::overwrite_existing);
    std::FILE* file = std::fopen(target.c_str(), "rb+");
    if (file != nullptr) {
      ::fsync(::fileno(file));
      std::fclose(file);
    }
  }
  Label(state, which);
}

BENCHMARK(BM_EngineStampAndSave)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_QpdfRewrite)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AtomicCopy)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
