// sealrun demo. Every step starts this same program with the command line a user would type in the demo
// folder, so what is printed is exactly what that command prints; the demo only adds the headings and
// says after each step whether it gave what was expected.
#include "apps/sealrun/DemoCommand.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "apps/sealrun/DemoProcess.h"
#include "apps/sealrun/DemoSamples.h"
#include "apps/sealrun/DemoTamper.h"
#include "apps/sealrun/TerminalText.h"
#include "platform/fs/Files.h"

namespace sealrun::apps {

namespace fs = std::filesystem;

namespace {

constexpr int kDone = 0;
constexpr int kNotAsExpected = 1;
constexpr int kMisuse = 2;

constexpr char kSeal[] = "演示公章";
constexpr char kPin[] = "123456";
constexpr char kTemplate[] = "template.pdf";
constexpr char kPrestampPage[] = "1";
constexpr char kPrestampAt[] = "450,680";  // on the template's "盖章处" line, bottom right
constexpr size_t kTampered = 1;            // the second contract is changed after sealing
constexpr int kSealsPerFile = 2;           // one by template, one by keyword
constexpr char kPrivateFolder[] = ".sealrun";
constexpr char kSealedCopies[] = "sealed";
constexpr char kChange[] = "金额已改为玖仟万元";  // what the tampering writes onto the page

int Misuse(const std::string& message) {
  std::fprintf(stderr, "sealrun demo: %s\n", TerminalSafe(message).c_str());
  return kMisuse;
}

// ./sealrun-demo-YYYYMMDD-HHMMSS, in local time.
fs::path DefaultFolder() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char name[48];
  std::strftime(name, sizeof name, "sealrun-demo-%Y%m%d-%H%M%S", &local);
  return fs::current_path() / name;
}

bool IsDemoKey(const fs::path& folder) {
  std::error_code error;
  return fs::is_regular_file(folder / "key.xml", error);
}

// SEALRUN_DEMO_KEY, then share/sealrun/demo-key of the installation this program belongs to (the program
// stands in <prefix>/<libdir>/sealrun, and libdir may have more than one level), then the source tree.
std::optional<fs::path> FindDemoKey() {
  if (const char* named = std::getenv("SEALRUN_DEMO_KEY"); named != nullptr && *named != 0)
    return IsDemoKey(named) ? std::optional<fs::path>(named) : std::nullopt;
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (!error) {
    for (fs::path prefix = self.parent_path(); !prefix.empty(); prefix = prefix.parent_path()) {
      if (IsDemoKey(prefix / "share/sealrun/demo-key")) return prefix / "share/sealrun/demo-key";
      if (prefix == prefix.root_path()) break;
    }
  }
#if defined(SEALRUN_SOURCE_DEMO_KEY)
  if (IsDemoKey(SEALRUN_SOURCE_DEMO_KEY)) return fs::path(SEALRUN_SOURCE_DEMO_KEY);
#endif
  return std::nullopt;
}

// A copy the key's component may write to (it keeps its try counter there), even when the source is
// read-only, and that only its owner can read: whoever reads key.xml or signer.p12 can test PINs offline.
bool CopyKey(const fs::path& source, const fs::path& target) {
  std::error_code error;
  fs::copy(source, target, fs::copy_options::recursive, error);
  if (error) return false;
  bool ok = true;
  const auto ownerOnly = [&ok](const fs::path& path, bool folder) {
    std::error_code failed;
    fs::permissions(path,
                    fs::perms::owner_read | fs::perms::owner_write | (folder ? fs::perms::owner_exec : fs::perms::none),
                    fs::perm_options::replace, failed);
    ok = ok && !failed;
  };
  ownerOnly(target, true);
  for (const auto& entry : fs::recursive_directory_iterator(target, error)) ownerOnly(entry.path(), entry.is_directory());
  // A try counter copied from the source would slow or lock the copy for wrong PINs typed elsewhere, and
  // its remembered-PIN key is the source's own.
  fs::remove(target / "pin-tries", error);
  if (!error) fs::remove(target / "remembered-pin.key", error);
  return ok && !error;
}

// verify prints one line per file, its name, a tab and its result.
std::map<std::string, std::string> ResultsByFile(const std::string& output) {
  std::map<std::string, std::string> results;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t tab = line.find('\t');
    if (tab != std::string::npos) results[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return results;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

class Demo {
 public:
  Demo(fs::path folder, std::vector<std::string> environment)
      : folder_(std::move(folder)), environment_(std::move(environment)) {}

  int Run(const std::vector<DemoSample>& contracts) {
    for (const auto& contract : contracts) files_.push_back(contract.fileName);
    Prestamp();
    SignBy({"--template", kTemplate}, "by template");
    SignBy({"--keyword", kDemoKeyword, "--date"}, "by keyword");
    VerifyAllValid();
    TamperAndVerify();
    RemoveSeals();
    Tell();
    std::printf("\n");
    if (failures_.empty()) {
      std::printf("sealrun demo: every step gave what was expected.\n");
      return kDone;
    }
    std::printf("sealrun demo: %zu step(s) did not give what was expected:\n", failures_.size());
    for (const auto& failure : failures_) std::printf("  %s\n", failure.c_str());
    return kNotAsExpected;
  }

 private:
  void Heading(const std::string& title) {
    ++step_;
    std::printf("\n== Step %d of 7: %s ==\n", step_, title.c_str());
  }

  CommandRun Command(const std::vector<std::string>& arguments) {
    std::string line = "$ sealrun";
    for (const auto& argument : arguments) line += " " + argument;
    std::printf("%s\n", line.c_str());
    return RunThisProgram(arguments, folder_, environment_);
  }

  void Expect(bool held, const std::string& what) {
    if (held) {
      std::printf("-> as expected: %s\n", what.c_str());
    } else {
      std::printf("-> NOT as expected: %s\n", what.c_str());
      failures_.push_back("step " + std::to_string(step_) + ": " + what);
    }
  }

  std::vector<std::string> WithFiles(std::vector<std::string> arguments) const {
    arguments.insert(arguments.end(), files_.begin(), files_.end());
    return arguments;
  }

  static std::string SealCount(int seals) { return "印章总数:" + std::to_string(seals); }
  static std::string AllValid(int seals) {
    return SealCount(seals) + " 有效:" + std::to_string(seals) + " 失效:0";
  }

  void Prestamp() {
    Heading("pre-stamp the seal position on the template");
    const CommandRun run = Command({"prestamp", kTemplate, "--page", kPrestampPage, "--at", kPrestampAt});
    Expect(run.exitCode == 0 && Contains(run.output, "预盖位置1"),
           "the template has the pre-stamp \"预盖位置1\" (exit code " + std::to_string(run.exitCode) + ")");
  }

  void SignBy(const std::vector<std::string>& placement, const std::string& how) {
    Heading("seal the batch " + how);
    std::vector<std::string> arguments{"sign"};
    arguments.insert(arguments.end(), placement.begin(), placement.end());
    arguments.insert(arguments.end(), {"--seal", kSeal, "--pin", kPin});
    const CommandRun run = Command(WithFiles(arguments));
    const std::string count = std::to_string(files_.size());
    Expect(run.exitCode == 0 && Contains(run.output, "签章成功：" + count) && Contains(run.output, "签章失败：0"),
           "all " + count + " files sealed " + how + " (exit code " + std::to_string(run.exitCode) + ")");
  }

  // Runs verify with the log exported; true when every file has the result `expected` gives it.
  bool Verify(const std::string& log, const std::function<std::string(const std::string&)>& expected, int& exitCode,
              std::string& mismatch) {
    const CommandRun run = Command(WithFiles({"verify", "--export", log}));
    exitCode = run.exitCode;
    const auto results = ResultsByFile(run.output);
    for (const auto& file : files_) {
      const auto found = results.find(file);
      const std::string wanted = expected(file);
      if (found == results.end() || !found->second.starts_with(wanted)) {
        mismatch = file + " " + (found == results.end() ? "has no result" : "gave " + found->second);
        return false;
      }
    }
    return true;
  }

  void VerifyAllValid() {
    Heading("verify the batch");
    int exitCode = -1;
    std::string mismatch;
    const bool held = Verify("verify-log-1.txt", [](const std::string&) { return AllValid(kSealsPerFile); },
                             exitCode, mismatch);
    Expect(held && exitCode == 0, held ? "both seals of every file valid; log in verify-log-1.txt"
                                       : "every seal valid, but " + mismatch);
    // The batch is changed and cleared by the next steps: copies keep the sealed state to look at.
    std::error_code error;
    bool copied = fs::create_directories(folder_ / kSealedCopies, error) && !error;
    for (const auto& file : files_) {
      copied = fs::copy_file(folder_ / file, folder_ / kSealedCopies / file, error) && copied;
    }
    Expect(copied, "copies of the sealed files kept in " + std::string(kSealedCopies) + "/");
  }

  void TamperAndVerify() {
    const std::string& victim = files_[kTampered];
    Heading("change " + victim + " after sealing, then verify again");
    const fs::path path = folder_ / victim;
    const auto before = platform::fs::ReadFile(path);
    // A line in red on page 1 that claims another amount, appended to the page's content.
    const std::string operators = "q 0.8 0 0 rg " + TextOperators({96, 560, 12, Script::Chinese, kChange}) + " Q";
    const auto failure = AppendPageContent(path, 0, operators);
    const auto after = platform::fs::ReadFile(path);
    const bool appended = !failure && before && after && after->size() > before->size() &&
                          after->compare(0, before->size(), *before) == 0;
    if (failure) std::printf("the change could not be made: %s\n", failure->c_str());
    if (appended)
      std::printf("appended one update to %s (%zu bytes, was %zu): page 1 now also says \"%s\" in red\n",
                  victim.c_str(), after->size(), before->size(), kChange);
    Expect(appended, victim + " changed by an appended update only, its earlier bytes untouched");

    int exitCode = -1;
    std::string mismatch;
    const bool held = Verify(
        "verify-log-2.txt",
        [&victim](const std::string& file) { return file == victim ? SealCount(kSealsPerFile) + " 有效:0" : AllValid(kSealsPerFile); },
        exitCode, mismatch);
    Expect(held && exitCode == 1, held ? victim + " invalid, every other file valid; log in verify-log-2.txt"
                                       : victim + " invalid and the others valid, but " + mismatch);

    // Why: each seal names the update that changed page 1's content after it.
    const CommandRun why = Command({"inspect", victim});
    Expect(why.exitCode == 1 && Count(why.output, "why: changed after sealing") == kSealsPerFile &&
               Count(why.output, "page 1, object ") >= kSealsPerFile &&
               Count(why.output, ": content changed, not allowed") == kSealsPerFile,
           "inspect says why: for both seals, the content of page 1 changed after sealing");
  }

  void RemoveSeals() {
    Heading("remove the seals again");
    std::printf("remove takes off the latest seal of each file made with this key, so it runs once per seal.\n");
    const std::string count = std::to_string(files_.size());
    for (int round = 1; round <= kSealsPerFile; ++round) {
      const CommandRun run = Command(WithFiles({"remove", "--pin", kPin}));
      Expect(run.exitCode == 0 && Contains(run.output, "撤章成功：" + count + "份"),
             "round " + std::to_string(round) + ": a seal removed from all " + count + " files");
    }
    const CommandRun run = Command(WithFiles({"inspect"}));
    bool cleared = true;
    for (const auto& file : files_) cleared = cleared && Contains(run.output, file + ": 0 seal(s)");
    Expect(cleared, "no file has a seal left");
    std::printf(
        "What stays: the documents' own text, the change made in step 5 and the template's pre-stamp. Each\n"
        "seal and each removal was appended as an update, so the earlier revisions, with their seals, are\n"
        "still inside the files.\n");
  }

  void Tell() {
    Heading("open the files");
    std::printf("The files are in %s:\n", TerminalSafe(folder_.string()).c_str());
    ListFolder(folder_, "");
    ListFolder(folder_ / kSealedCopies, std::string(kSealedCopies) + "/");
    std::printf(
        "Open them in any PDF viewer, for example:\n"
        "  xdg-open %s        (sealed twice, as after step 4)\n"
        "  xdg-open %s                  (changed in step 5, seals removed in step 6)\n"
        "The demo's settings, registry and copy of the demo key are in %s/%s; your own were not used.\n",
        (folder_ / kSealedCopies / files_.front()).c_str(), (folder_ / files_[kTampered]).c_str(), folder_.c_str(),
        kPrivateFolder);
  }

  static void ListFolder(const fs::path& folder, const std::string& prefix) {
    std::error_code error;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder, error))
      if (entry.is_regular_file(error)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const auto& name : names)
      std::printf("  %-34s %8ju bytes\n", (prefix + name).c_str(),
                  static_cast<uintmax_t>(fs::file_size(folder / name, error)));
  }

  fs::path folder_;
  std::vector<std::string> environment_;
  std::vector<std::string> files_;
  std::vector<std::string> failures_;
  int step_ = 0;
};

}  // namespace

const char* DemoHelp() {
  return "usage: sealrun demo [--folder DIR]\n"
         "\n"
         "Writes sample PDF files (Chinese contracts of one page, one turned by 90 degrees, one A3 landscape,\n"
         "one of two pages, and a template) into a new folder and runs the main job on them, each step as its\n"
         "own command line, printing what the command prints:\n"
         "  1. pre-stamp the seal position on the template       (sealrun prestamp)\n"
         "  2. seal the batch by the template                     (sealrun sign --template)\n"
         "  3. seal the batch beside the text \"甲方（盖章）\"      (sealrun sign --keyword)\n"
         "  4. verify the batch: every seal valid                 (sealrun verify --export)\n"
         "  5. change one file by an appended update, verify again: that file is invalid, and inspect\n"
         "     says why (the change, its update and page)\n"
         "  6. remove the seals again                             (sealrun remove, sealrun inspect)\n"
         "  7. say where the files are\n"
         "Everything runs with private settings, registry and a copy of the demo seal key (PIN 123456) in\n"
         "DIR/.sealrun, so your own settings and registry are never touched. The demo key is taken from\n"
         "SEALRUN_DEMO_KEY, else from the installation (share/sealrun/demo-key), else from the source tree.\n"
         "\n"
         "  --folder DIR  where to write (created when missing; refused when it exists and is not empty);\n"
         "                default: a new folder ./sealrun-demo-YYYYMMDD-HHMMSS\n"
         "\n"
         "Exit codes: 0 every step gave what was expected, 1 some step did not, 2 misuse.\n"
         "\n"
         "examples:\n"
         "  sealrun demo\n"
         "  sealrun demo --folder /tmp/seal-demo && xdg-open /tmp/seal-demo/contract-1.pdf\n";
}

int RunDemo(const std::vector<std::string>& arguments) {
  std::optional<fs::path> chosen;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--help" || arguments[i] == "-h") {
      std::fputs(DemoHelp(), stdout);
      return kDone;
    }
    if (arguments[i] == "--folder" && i + 1 < arguments.size() && !arguments[i + 1].empty() && !chosen) {
      chosen = arguments[++i];
    } else {
      return Misuse("unexpected argument " + arguments[i] + " (see sealrun demo --help)");
    }
  }
  std::error_code error;
  const fs::path folder = fs::absolute(chosen.value_or(DefaultFolder()), error).lexically_normal();
  if (fs::exists(folder, error)) {
    if (!fs::is_directory(folder, error)) return Misuse(folder.string() + " exists and is not a folder");
    if (!fs::is_empty(folder, error)) return Misuse(folder.string() + " is not empty; name a new or empty folder");
  }
  const auto key = FindDemoKey();
  if (!key) return Misuse("the demo seal key was not found (set SEALRUN_DEMO_KEY to a copy of data/demo-key)");

  const fs::path privateFolder = folder / kPrivateFolder;
  fs::create_directories(privateFolder / "config", error);
  if (error) return Misuse("the folder " + folder.string() + " cannot be made: " + error.message());
  if (!CopyKey(*key, privateFolder / "key")) return Misuse("the demo seal key " + key->string() + " cannot be copied");

  const std::vector<DemoSample> contracts = MakeDemoContracts();
  std::vector<DemoSample> samples = contracts;
  samples.push_back(MakeDemoTemplate());
  std::printf("Sealrun demo in %s\nSample files written there:\n", TerminalSafe(folder.string()).c_str());
  for (const auto& sample : samples) {
    if (!platform::fs::ReplaceFileAtomically(folder / sample.fileName, sample.bytes)) {
      std::printf("sealrun demo: %s cannot be written\n", TerminalSafe((folder / sample.fileName).string()).c_str());
      return kNotAsExpected;
    }
    std::printf("  %-26s %s\n", sample.fileName.c_str(), sample.description.c_str());
  }
  // The reader's own settings file, when the user names one, is left out too: the private copy that
  // lists the add-in is made under the private configuration folder.
  const auto environment = ChangedEnvironment({{"XDG_CONFIG_HOME", (privateFolder / "config").string()},
                                               {"SEALRUN_REGISTRY", (privateFolder / "registry").string()},
                                               {"SEALRUN_KEY", (privateFolder / "key").string()},
                                               {"SEALRUN_HOST_SETTINGS", std::nullopt}});
  return Demo(folder, environment).Run(contracts);
}

}  // namespace sealrun::apps
