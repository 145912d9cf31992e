#pragma once
// The debug trace of the verification and removal runs: one line for each file that failed, with why, so a
// user running with traces on (SEALRUN_DEBUG=1) sees the reason behind the summary's count.
#include <string_view>

namespace sealrun::verify {

// "<prefix><path>: <what>".
void TraceFile(std::u16string_view path, std::string_view what);

}  // namespace sealrun::verify
