// Many kill trials per kind (tests/apps/KillTrials.h) and a table of what the files were left as.
//   kill_trials [--trials N] [--files N] [--seed N] [--runs 1|2] [--kind NAME]...
// NAME: annotations, fields, online, remove-annotations, remove-fields (all when none is named). Exits with 0
// when no file was damaged and every promise held, 1 otherwise.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/apps/KillTrials.h"

namespace {

using sealrun::apps::trials::TrialKind;

bool KindNamed(const std::string& name, TrialKind& kind) {
  const struct {
    const char* name;
    TrialKind kind;
  } names[] = {{"annotations", TrialKind::SealAnnotations},  {"fields", TrialKind::SignatureFields},
               {"online", TrialKind::OnlineSignatures},      {"remove-annotations", TrialKind::AnnotationRemoval},
               {"remove-fields", TrialKind::FieldRemoval}};
  for (const auto& entry : names) {
    if (name != entry.name) continue;
    kind = entry.kind;
    return true;
  }
  return false;
}

int Usage() {
  std::fputs("usage: kill_trials [--trials N] [--files N] [--seed N] [--runs 1|2] [--kind NAME]...\n"
             "NAME: annotations, fields, online, remove-annotations, remove-fields\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  sealrun::apps::trials::TrialSettings settings;
  settings.trials = 50;
  settings.files = 24;
  std::vector<TrialKind> kinds;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[++i];
    TrialKind kind{};
    if (option == "--trials") settings.trials = std::atoi(value.c_str());
    else if (option == "--files") settings.files = std::atoi(value.c_str());
    else if (option == "--seed") settings.seed = static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
    else if (option == "--runs") settings.runs = std::atoi(value.c_str());
    else if (option == "--kind" && KindNamed(value, kind)) kinds.push_back(kind);
    else return Usage();
  }
  if (settings.trials <= 0 || settings.files <= 0 || settings.runs < 1 || settings.runs > 2) return Usage();
  if (kinds.empty()) kinds.assign(std::begin(sealrun::apps::trials::kAllKinds), std::end(sealrun::apps::trials::kAllKinds));

  sealrun::apps::trials::TrialBench bench;
  if (!bench.Problem().empty()) {
    std::fprintf(stderr, "kill_trials: %s\n", bench.Problem().c_str());
    return 1;
  }
  std::printf("%d trials per kind, %d files per batch, %d run(s) at once, seed %u\n"
              "kills: SIGKILL and SIGTERM in turn, at a random moment after the run's first output (printed when its first\n"
              "file is done) within the measured run; a quarter of the SIGKILLs before that output instead\n",
              settings.trials, settings.files, settings.runs, settings.seed);
  std::printf("%-28s %6s %6s %9s %13s %7s %6s %6s %6s %5s %7s %9s\n", "kind", "trials", "files", "untouched",
              "changed+valid", "damaged", "run s", "killed", "copies", "after", "TERM ok", "TERM late");
  std::fflush(stdout);
  bool kept = true;
  for (const TrialKind kind : kinds) {
    const auto counts = bench.Run(kind, settings);
    if (!bench.Problem().empty()) {
      std::fprintf(stderr, "kill_trials: %s\n", bench.Problem().c_str());
      return 1;
    }
    std::printf("%-28.*s %6d %6d %9d %13d %7d %6.2f %6d %6d %5d %3d/%-3d %9d\n", static_cast<int>(KindName(kind).size()),
                KindName(kind).data(), counts.trials, counts.filesChecked, counts.untouched, counts.changedValid,
                counts.damaged, counts.runSeconds, counts.killedBeforeEnd, counts.copiesLeftByKill,
                counts.copiesLeftAfterNextRun, counts.stoppedAsAsked, counts.stoppedAsAsked + counts.termNotStopped,
                counts.termAfterLastFile);
    std::fflush(stdout);
    for (const auto& problem : counts.problems) std::printf("  problem: %s\n", problem.c_str());
    kept = kept && counts.problems.empty() && counts.damaged == 0;
  }
  std::puts("untouched: byte-identical to before; changed+valid: original bytes a prefix and every seal valid, one more\n"
            "(sign) or one fewer (remove) per run; killed: runs still going when the signal came; copies: .saving\n"
            "copies right after the kill; after: copies left after the next run in the folder; TERM ok: SIGTERM runs\n"
            "that ended with 143 and their summary, of those signalled while still working; TERM late: the signal\n"
            "came when every file was done (the run ended with its own result and summary).");
  return kept ? 0 : 1;
}
