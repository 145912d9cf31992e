// Runs of the sealrun program killed at random moments leave every file byte-identical or completely sealed
// (or with its latest seal completely removed), SIGTERM runs stop with 143 and their summary, and the next
// run clears the copies a killed run left. A few seeded trials per kind here; bench/trials runs many.
#include <gtest/gtest.h>

#include "tests/apps/KillTrials.h"

namespace sealrun::apps::trials {
namespace {

void ExpectKept(const TrialCounts& counts, int trials, int files) {
  SCOPED_TRACE(std::string(KindName(counts.kind)) + (counts.runs > 1 ? ", two runs" : ""));
  for (const auto& problem : counts.problems) ADD_FAILURE() << problem;
  EXPECT_EQ(counts.trials, trials);
  EXPECT_EQ(counts.filesChecked, trials * files);
  EXPECT_EQ(counts.untouched + counts.changedValid, counts.filesChecked);
  EXPECT_EQ(counts.damaged, 0);
  EXPECT_EQ(counts.copiesLeftAfterNextRun, 0);
  EXPECT_EQ(counts.termNotStopped, 0);
  EXPECT_GT(counts.runSeconds, 0.0);
}

TEST(KillTrials, EveryFileIsUntouchedOrCompletelyChangedWhateverMomentTheRunIsKilledAt) {
  TrialBench bench;
  ASSERT_EQ(bench.Problem(), "");
  const TrialSettings settings{.trials = 2, .files = 10, .seed = 20261208, .runs = 1};
  for (const TrialKind kind : kAllKinds) {
    const TrialCounts counts = bench.Run(kind, settings);
    ASSERT_EQ(bench.Problem(), "");
    ExpectKept(counts, settings.trials, settings.files);
  }
}

TEST(KillTrials, TwoRunsOverTheSameFilesKilledAtRandomMomentsLeaveEveryFileWhole) {
  TrialBench bench;
  ASSERT_EQ(bench.Problem(), "");
  const TrialSettings settings{.trials = 2, .files = 10, .seed = 7, .runs = 2};
  for (const TrialKind kind : {TrialKind::SealAnnotations, TrialKind::AnnotationRemoval}) {
    const TrialCounts counts = bench.Run(kind, settings);
    ASSERT_EQ(bench.Problem(), "");
    ExpectKept(counts, settings.trials, settings.files);
  }
}

}  // namespace
}  // namespace sealrun::apps::trials
