#pragma once
// One batch signing run over a file list, apart from the dialog that starts it: every file is stamped in
// list order, a failure is counted, traced with its reason, and the run goes on, and after each file the
// caller shows progress.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/SignatureMode.h"
#include "signing/SealStamp.h"

namespace sealrun::signing {

struct SigningRunTally {
  int total = 0;              // the files the run went through (fewer than listed when it was stopped)
  bool stopped = false;       // asked to stop (platform/ui/QuitRequest.h) before the last file
  std::vector<int> failed;    // zero-based indices of the files that failed, in file order
  int64_t milliseconds = 0;   // wall-clock time of the whole run
};

// Stamps one file: Ok when it was sealed, else why not.
using StampFile = std::function<StampResult(std::u16string_view path)>;
// Called after each file with its index and its per-document number (0: sealed).
using FileDone = std::function<void(int index, int result)>;

// Stops before the next file when the program is asked to quit.
SigningRunTally RunSigningBatch(std::span<const std::u16string> files, const StampFile& stamp,
                                const FileDone& afterEach);

// How files are stamped in a form: signature fields or seal annotations. `inputs` must outlive the function.
StampFile MakeStamper(config::SealForm form, const StampInputs& inputs, std::u16string pin);

}  // namespace sealrun::signing
