#pragma once
// Runs of the installed `sealrun` program killed at random moments, and what they left: the promise is that
// after any run, killed or not, each file is byte-identical to before or carries one complete, valid new
// revision appended to its original bytes. Each trial copies a batch of real files of several kinds, starts a
// run over them (sealing in either form, online signing against tramex-server, or removal), kills it with
// SIGKILL or SIGTERM after a seeded random delay within the run's measured duration, and checks every file;
// then the next run in the folder must clear whatever copy the killed one left. Used by a test with a few
// trials and by bench/trials with many.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tests/testsupport/TempDir.h"

namespace sealrun::testing {
class TramexServerProcess;
}

namespace sealrun::apps::trials {

enum class TrialKind {
  SealAnnotations,    // sealrun sign, seal annotation form
  SignatureFields,    // sealrun sign, signature field form
  OnlineSignatures,   // sealrun sign, signature fields signed by tramex-server
  AnnotationRemoval,  // sealrun remove on files sealed twice with annotations
  FieldRemoval,       // sealrun remove on files sealed twice with signature fields
};
inline constexpr TrialKind kAllKinds[] = {TrialKind::SealAnnotations, TrialKind::SignatureFields,
                                          TrialKind::OnlineSignatures, TrialKind::AnnotationRemoval,
                                          TrialKind::FieldRemoval};
std::string_view KindName(TrialKind kind);

struct TrialSettings {
  int trials = 3;
  int files = 12;          // files per batch, taken in turn from the corpus files of the trials
  std::uint32_t seed = 1;
  int runs = 1;            // runs started together over the same files (2: two concurrent runs)
};

struct TrialCounts {
  TrialKind kind = TrialKind::SealAnnotations;
  int runs = 1;
  int trials = 0;
  int filesChecked = 0;
  int untouched = 0;       // byte-identical to before
  int changedValid = 0;    // the original bytes a prefix, the new revision(s) complete and every seal valid
  int damaged = 0;         // anything else
  int killedBeforeEnd = 0;  // trials whose run was still going when the signal came
  int copiesLeftByKill = 0;       // ".saving" copies beside the files right after the kill
  int copiesLeftAfterNextRun = 0; // ... after the next run in the folder (must be 0)
  int stoppedAsAsked = 0;     // SIGTERM: exit 128 + 15 with the summary printed
  int termAfterLastFile = 0;  // SIGTERM that came once every file was done: the run's own result and summary
  int termNotStopped = 0;     // SIGTERM while running that ended neither way (must be 0)
  double runSeconds = 0;    // the measured duration of an uninterrupted run
  std::vector<std::string> problems;  // one line per damaged file or broken promise
};

// The private environment of the trials: settings, registry, reader settings, temporary folder and a copy of
// the demo key, all in a temporary folder; the template with its pre-stamp; the signing server when asked.
class TrialBench {
 public:
  TrialBench();
  ~TrialBench();
  TrialBench(const TrialBench&) = delete;
  TrialBench& operator=(const TrialBench&) = delete;

  // Empty when the bench is ready; otherwise why not.
  const std::string& Problem() const { return problem_; }
  TrialCounts Run(TrialKind kind, const TrialSettings& settings);

 private:
  struct Environment;
  std::filesystem::path PrepareOriginals(TrialKind kind, int files);
  void UseKind(TrialKind kind);

  sealrun::testing::TempDir temp_;
  std::unique_ptr<Environment> environment_;
  std::unique_ptr<sealrun::testing::TramexServerProcess> server_;
  std::filesystem::path template_;
  std::string problem_;
};

}  // namespace sealrun::apps::trials
