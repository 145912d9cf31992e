#include "bench/support/SampleFiles.h"

#include <cstdlib>
#include <string>
#include <system_error>

#include "bench/support/ToolProcess.h"

namespace sealrun::bench {

namespace fs = std::filesystem;

fs::path CorpusDir() {
  if (const char* dir = std::getenv("SEALRUN_CORPUS"); dir != nullptr && *dir != '\0') return dir;
  return SEALRUN_BENCH_CORPUS;
}

fs::path OnePageSource() { return CorpusDir() / "pypdf-crazyones.pdf"; }

fs::path MakeLongSource(const fs::path& folder) {
  const fs::path manual = CorpusDir() / "texlive-bxjscls.pdf";
  if (!fs::exists(manual)) return {};
  const fs::path out = folder / "long-200.pdf";
  const ToolRun run =
      RunProgram({"qpdf", "--empty", "--pages", manual.string(), "1-z", manual.string(), "1-15", "--", out.string()});
  // qpdf exits 3 for warnings; the file is written all the same.
  if ((run.exitCode != 0 && run.exitCode != 3) || !fs::exists(out)) return {};
  return out;
}

std::vector<fs::path> FreshCopies(const fs::path& source, const fs::path& folder, int count) {
  std::vector<fs::path> copies;
  std::error_code error;
  fs::create_directories(folder, error);
  for (int i = 0; i < count; ++i) {
    const fs::path target = folder / (source.stem().string() + "-" + std::to_string(i) + ".pdf");
    fs::copy_file(source, target, fs::copy_options::overwrite_existing, error);
    if (!error) fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, error);
    if (error) return {};
    copies.push_back(target);
  }
  return copies;
}

}  // namespace sealrun::bench
