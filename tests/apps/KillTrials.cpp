#include "tests/apps/KillTrials.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

#include "tests/apps/TramexServerProcess.h"
#include "tests/testsupport/ToolRun.h"

extern char** environ;

namespace sealrun::apps::trials {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using sealrun::testing::ReadFileBytes;
using sealrun::testing::RunProgram;
using sealrun::testing::ScopedEnv;
using sealrun::testing::ToolRun;
using sealrun::testing::WriteFileBytes;

constexpr char kPin[] = "123456";
constexpr char kSeal[] = "演示公章";

// Real files of several kinds: plain, long, one the engine refuses to continue (damaged cross-reference), Chinese
// text, RC4 and AES encryption, object streams, a hybrid cross-reference, a form, tiny, turned pages.
constexpr const char* kCorpus[] = {
    "pypdf-crazyones.pdf",         "pdfjs-tracemonkey.pdf",    "pdfjs-xref_command_missing.pdf",
    "texlive-zhlipsum.pdf",        "pypdf-r2-empty-password.pdf", "derived-objstm-ctex-faq.pdf",
    "qpdf-hybrid-xref.pdf",        "pypdf-FormTestFromOo.pdf", "qpdf-V4-aes.pdf",
    "qpdf-minimal.pdf",            "qpdf-rotated.pdf",         "pdfjs-issue14415.pdf",
};

bool Removes(TrialKind kind) { return kind == TrialKind::AnnotationRemoval || kind == TrialKind::FieldRemoval; }
bool UsesFields(TrialKind kind) {
  return kind == TrialKind::SignatureFields || kind == TrialKind::OnlineSignatures || kind == TrialKind::FieldRemoval;
}

std::vector<std::string> SignCommand(const fs::path& tmpl, const fs::path& what) {
  return {"sign", "--template", tmpl.string(), "--seal", kSeal, "--pin", kPin, what.string()};
}
std::vector<std::string> RemoveCommand(const fs::path& what) { return {"remove", "--pin", kPin, what.string()}; }

// The run's own summary, printed however it ended when it was not killed.
std::string_view SummaryMark(TrialKind kind) { return Removes(kind) ? "撤章成功：" : "签章耗时："; }

// A program started with its standard output and error into one file and nothing on its standard input.
class Started {
 public:
  Started(const std::vector<std::string>& arguments, const fs::path& output) : output_(output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::vector<std::string> all{SEALRUN_PROGRAM};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Started() {
    if (Running()) {
      kill(pid_, SIGKILL);
      Wait();
    }
  }
  Started(const Started&) = delete;
  Started& operator=(const Started&) = delete;

  bool Ok() const { return pid_ > 0; }
  // False once it ended (its status is then kept).
  bool Running() {
    if (pid_ <= 0 || status_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
    return !status_;
  }
  int Wait() {
    if (pid_ > 0 && !status_) {
      int status = 0;
      if (waitpid(pid_, &status, 0) == pid_) status_ = status;
    }
    return status_.value_or(-1);
  }
  void Signal(int signal) const { kill(pid_, signal); }
  bool Printed() const {
    std::error_code error;
    return fs::file_size(output_, error) > 0 && !error;
  }
  std::string Output() const { return ReadFileBytes(output_); }

 private:
  fs::path output_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// The ".saving" copies beside the files.
int Copies(const fs::path& folder) {
  int copies = 0;
  for (const auto& entry : fs::directory_iterator(folder))
    copies += entry.path().filename().string().ends_with(".saving") ? 1 : 0;
  return copies;
}

void CopyFolder(const fs::path& from, const fs::path& to) {
  fs::remove_all(to);
  fs::create_directories(to);
  for (const auto& entry : fs::directory_iterator(from)) fs::copy_file(entry.path(), to / entry.path().filename());
}

// Each file's seal count and valid count, from one `sealrun verify` over the files.
struct SealCount {
  int total = 0;
  int valid = 0;
};
std::map<std::string, SealCount> Verify(const std::vector<fs::path>& files) {
  std::map<std::string, SealCount> counts;
  if (files.empty()) return counts;
  std::vector<std::string> arguments{"verify"};
  for (const auto& file : files) arguments.push_back(file.string());
  const ToolRun run = RunProgram(SEALRUN_PROGRAM, arguments);
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);) {
    const auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    SealCount count;
    if (std::sscanf(line.c_str() + tab + 1, "印章总数:%d 有效:%d", &count.total, &count.valid) == 2)
      counts[line.substr(0, tab)] = count;
  }
  return counts;
}

// One kind's batch: the files as they stand before each trial, and the folder the trials run in.
struct Batch {
  TrialKind kind;
  fs::path originals;
  fs::path folder;
  std::vector<fs::path> names;
  std::map<std::string, SealCount> sealsBefore;
  int runs;
};

std::vector<std::string> Command(TrialKind kind, const fs::path& tmpl, const fs::path& what) {
  return Removes(kind) ? RemoveCommand(what) : SignCommand(tmpl, what);
}

struct Calibration {
  double runSeconds = 0;   // an uninterrupted run, start to end
  double firstOutput = 0;  // start to its first output
};

// Uninterrupted runs measure how long a run takes (the shorter of two: the first also fills the caches) and
// when it first prints: its stop handling is in place by then, and its first file in hand.
std::optional<Calibration> Calibrate(const std::vector<std::string>& command, const Batch& batch,
                                     const fs::path& output) {
  Calibration calibration;
  for (int round = 0; round < 2; ++round) {
    CopyFolder(batch.originals, batch.folder);
    const auto start = Clock::now();
    Started run(command, output);
    if (!run.Ok()) return std::nullopt;
    double printed = 0;
    while (run.Running()) {
      if (printed == 0 && run.Printed()) printed = std::chrono::duration<double>(Clock::now() - start).count();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    if (calibration.runSeconds == 0 || took < calibration.runSeconds) calibration.runSeconds = took;
    calibration.firstOutput = std::max(calibration.firstOutput, printed);
  }
  return calibration;
}

// Starts the batch's runs together and signals each at its moment: SIGKILL and SIGTERM in turn. Most kills
// land while files are worked on: a random time after the run's own first output (it prints once its first
// file is done), within what the measured run took from there, so that a slower machine moves the moment with
// the run. A quarter of the SIGKILLs land during the start instead (the key, the PIN, the first file). A
// SIGTERM run must stop with 128 + 15 and its summary; one that had finished every file when the signal came
// ends with its own result.
void RunAndKill(const std::vector<std::string>& command, int trial, const Calibration& calibration,
                std::mt19937& random, const Batch& batch, const fs::path& outputs, TrialCounts& counts) {
  struct Kill {
    int signal = SIGKILL;
    bool afterFirstOutput = true;
    double delay = 0;  // from the start, or from the first output
    std::unique_ptr<Started> run;
    std::optional<double> printedAt;
    bool fired = false;
  };
  std::vector<Kill> kills(static_cast<std::size_t>(batch.runs));
  for (std::size_t r = 0; r < kills.size(); ++r) {
    Kill& kill = kills[r];
    kill.signal = (trial + static_cast<int>(r)) % 2 == 0 ? SIGKILL : SIGTERM;
    kill.afterFirstOutput = kill.signal == SIGTERM || std::uniform_int_distribution<int>(0, 3)(random) != 0;
    const double span = kill.afterFirstOutput ? calibration.runSeconds - calibration.firstOutput : calibration.firstOutput;
    kill.delay = std::uniform_real_distribution<double>(0.0, std::max(span, 0.001))(random);
  }
  const auto start = Clock::now();
  for (std::size_t r = 0; r < kills.size(); ++r)
    kills[r].run = std::make_unique<Started>(command, outputs / ("run" + std::to_string(r) + ".txt"));
  for (bool waiting = true; waiting;) {
    waiting = false;
    const double now = std::chrono::duration<double>(Clock::now() - start).count();
    for (Kill& kill : kills) {
      if (kill.fired || !kill.run->Running()) continue;
      if (kill.afterFirstOutput && !kill.printedAt && kill.run->Printed()) kill.printedAt = now;
      const std::optional<double> from = kill.afterFirstOutput ? kill.printedAt : std::optional<double>(0.0);
      if (from && now >= *from + kill.delay) {
        kill.run->Signal(kill.signal);
        kill.fired = true;
      } else {
        waiting = true;
      }
    }
    if (waiting) std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  for (Kill& kill : kills) {
    const int status = kill.run->Wait();
    if (!kill.fired) continue;
    ++counts.killedBeforeEnd;
    if (kill.signal != SIGTERM) continue;
    const std::string output = kill.run->Output();
    const bool summary = output.find(SummaryMark(batch.kind)) != std::string::npos;
    const bool stopped = output.find("stopped on request") != std::string::npos;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM && summary) {
      ++counts.stoppedAsAsked;
    } else if (summary && !stopped && (WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) <= 1))) {
      ++counts.termAfterLastFile;
    } else {
      ++counts.termNotStopped;
      counts.problems.push_back(std::string(KindName(batch.kind)) + ": SIGTERM " + std::to_string(kill.delay) +
                                " s after the first output did not end with 143 and the summary (status " +
                                std::to_string(status) + ")");
    }
  }
}

// Every file byte-identical to before, or its original bytes a prefix of it and `sealrun verify` finding one
// more seal per run that sealed it (one fewer per run that removed one), every seal valid.
void CheckFiles(const Batch& batch, TrialCounts& counts) {
  const int step = Removes(batch.kind) ? -1 : 1;
  std::vector<fs::path> changed;
  for (const auto& name : batch.names) {
    ++counts.filesChecked;
    const std::string now = ReadFileBytes(batch.folder / name);
    const std::string then = ReadFileBytes(batch.originals / name);
    if (now == then) {
      ++counts.untouched;
    } else if (now.size() > then.size() && now.compare(0, then.size(), then) == 0) {
      changed.push_back(batch.folder / name);
    } else {
      ++counts.damaged;
      counts.problems.push_back(std::string(KindName(batch.kind)) + ": " + name.string() + " lost its original bytes");
    }
  }
  const std::map<std::string, SealCount> after = Verify(changed);
  for (const auto& path : changed) {
    const std::string name = path.filename().string();
    const auto found = after.find(name);
    const auto was = batch.sealsBefore.find(name);
    bool sound = found != after.end() && found->second.total == found->second.valid;
    if (sound) {
      const int steps = (found->second.total - (was != batch.sealsBefore.end() ? was->second.total : 0)) * step;
      sound = steps >= 1 && steps <= batch.runs;
    }
    if (sound) {
      ++counts.changedValid;
    } else {
      ++counts.damaged;
      counts.problems.push_back(std::string(KindName(batch.kind)) + ": " + name + " changed but does not verify as " +
                                (Removes(batch.kind) ? "one seal fewer" : "one more valid seal") + " per run");
    }
  }
}

}  // namespace

std::string_view KindName(TrialKind kind) {
  switch (kind) {
    case TrialKind::SealAnnotations: return "sign, seal annotations";
    case TrialKind::SignatureFields: return "sign, signature fields";
    case TrialKind::OnlineSignatures: return "sign online (tramex-server)";
    case TrialKind::AnnotationRemoval: return "remove, seal annotations";
    case TrialKind::FieldRemoval: return "remove, signature fields";
  }
  return "?";
}

struct TrialBench::Environment {
  explicit Environment(const fs::path& root)
      : config("XDG_CONFIG_HOME", (root / "config").string()),
        registry("SEALRUN_REGISTRY", (root / "registry").string()),
        hostSettings("SEALRUN_HOST_SETTINGS", (root / "host.conf").string()),
        tmp("TMPDIR", root.string()),
        module("SEALRUN_ADDIN_MODULE", std::nullopt),
        moduleDir("SEALRUN_MODULE_DIR", (root / "module").string()),
        key("SEALRUN_KEY", (root / "key").string()),
        debug("SEALRUN_DEBUG", std::nullopt) {}
  ScopedEnv config, registry, hostSettings, tmp, module, moduleDir, key, debug;
};

TrialBench::TrialBench() : environment_(std::make_unique<Environment>(temp_.Path())) {
  fs::copy(SEALRUN_DEMO_KEY, temp_ / "key", fs::copy_options::recursive);
  template_ = temp_ / "template.pdf";
  fs::copy_file(sealrun::testing::CorpusFile("pdfjs-sizes.pdf"), template_);
  fs::permissions(template_, fs::perms::owner_read | fs::perms::owner_write);
  const ToolRun prestamp = RunProgram(SEALRUN_PROGRAM, {"prestamp", template_.string(), "--page", "1", "--at", "300,400"});
  if (prestamp.exitCode != 0) problem_ = "the template's pre-stamp failed: " + prestamp.output;
}

TrialBench::~TrialBench() = default;

void TrialBench::UseKind(TrialKind kind) {
  const fs::path settings = temp_ / "config" / "Signavox_ConfigFile";
  fs::create_directories(settings);
  WriteFileBytes(settings / "OrtavexConfig.dll",
                 std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Brasmoor><SIGNATURE><SignatureMode>") +
                     (UsesFields(kind) ? "1" : "0") + "</SignatureMode></SIGNATURE></Brasmoor>\r\n");
  fs::remove(settings / "BrasmoorPublic.dll");
  if (kind != TrialKind::OnlineSignatures) return;
  if (!server_) server_ = sealrun::testing::TramexServerProcess::Start({});
  if (!server_) {
    problem_ = "tramex-server did not start";
    return;
  }
  WriteFileBytes(settings / "BrasmoorPublic.dll",
                 "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Brasmoor><Public><WebUrl>" + server_->Url("/tramex") +
                     "</WebUrl><DigitalSignOnline>true</DigitalSignOnline></Public></Brasmoor>\r\n");
}

// The batch as it stands before each trial: corpus copies, sealed twice for removal (by complete runs); and a
// spare file of the same making beside the folder for the next run.
fs::path TrialBench::PrepareOriginals(TrialKind kind, int files) {
  const fs::path originals = temp_ / "originals";
  fs::remove_all(originals);
  fs::remove_all(temp_ / "spare");
  fs::create_directories(originals);
  fs::create_directories(temp_ / "spare");
  const int corpus = static_cast<int>(std::size(kCorpus));
  for (int i = 0; i < files; ++i) {
    const std::string name = kCorpus[i % corpus];
    const fs::path target = originals / ("f" + std::to_string(i) + "-" + name);
    fs::copy_file(sealrun::testing::CorpusFile(name), target);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  }
  fs::copy_file(sealrun::testing::CorpusFile("pypdf-crazyones.pdf"), temp_ / "spare" / "next.pdf");
  fs::permissions(temp_ / "spare" / "next.pdf", fs::perms::owner_read | fs::perms::owner_write);
  if (Removes(kind)) {
    for (int round = 0; round < 2; ++round) {
      std::vector<std::string> sign = SignCommand(template_, originals);
      sign.push_back((temp_ / "spare" / "next.pdf").string());
      const ToolRun sealed = RunProgram(SEALRUN_PROGRAM, sign);
      if (sealed.exitCode != 0 && sealed.exitCode != 1) problem_ = "sealing the originals failed: " + sealed.output;
    }
  }
  return originals;
}

TrialCounts TrialBench::Run(TrialKind kind, const TrialSettings& settings) {
  TrialCounts counts;
  counts.kind = kind;
  counts.runs = settings.runs;
  UseKind(kind);
  if (!problem_.empty()) return counts;
  const fs::path originals = PrepareOriginals(kind, settings.files);
  const fs::path folder = temp_ / "run";
  std::vector<fs::path> names;
  for (const auto& entry : fs::directory_iterator(originals)) names.push_back(entry.path().filename());
  std::vector<fs::path> originalPaths;
  for (const auto& name : names) originalPaths.push_back(originals / name);
  const Batch batch{kind, originals, folder, names, Verify(originalPaths), settings.runs};

  const auto calibration = Calibrate(Command(kind, template_, folder), batch, temp_ / "calibration.txt");
  if (!calibration) {
    problem_ = "sealrun did not start";
    return counts;
  }
  counts.runSeconds = calibration->runSeconds;
  std::mt19937 random(settings.seed * 7919u + static_cast<std::uint32_t>(kind));
  for (int trial = 0; trial < settings.trials; ++trial) {
    CopyFolder(originals, folder);
    RunAndKill(Command(kind, template_, folder), trial, *calibration, random, batch, temp_.Path(), counts);
    ++counts.trials;
    CheckFiles(batch, counts);

    // The next run in the folder clears the copies a killed run left.
    const int left = Copies(folder);
    counts.copiesLeftByKill += left;
    if (left > 0) {
      fs::copy_file(temp_ / "spare" / "next.pdf", folder / "zz-next.pdf", fs::copy_options::overwrite_existing);
      RunProgram(SEALRUN_PROGRAM, Command(kind, template_, folder / "zz-next.pdf"));
      const int remaining = Copies(folder);
      counts.copiesLeftAfterNextRun += remaining;
      if (remaining > 0)
        counts.problems.push_back(std::string(KindName(kind)) + ": " + std::to_string(remaining) +
                                  " copies left after the next run");
    }
    if (server_) {
      // The server's log is read so that it never blocks writing it.
      while (!server_->ReadLine(std::chrono::milliseconds(5)).empty()) {
      }
    }
  }
  return counts;
}

}  // namespace sealrun::apps::trials
