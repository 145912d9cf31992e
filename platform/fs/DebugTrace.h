#pragma once
// The debugger output of the system: lines go to standard error only when SEALRUN_DEBUG=1.
#include <string_view>

namespace sealrun::platform::fs {

bool DebugTraceEnabled();
void DebugTrace(std::u16string_view line);
void DebugTrace(std::string_view utf8Line);

}  // namespace sealrun::platform::fs
