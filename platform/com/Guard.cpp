#include "platform/com/Guard.h"

#include <string>

#include "platform/fs/DebugTrace.h"

namespace sealrun::platform::com {

void TraceGuardedException(const GuardedName& name, std::string_view what) noexcept {
  try {
    if (!fs::DebugTraceEnabled()) return;
    std::string line = "com: ";
    if (!name.className.empty()) line.append(name.className).append("::");
    line.append(name.function).append(": ").append(what);
    fs::DebugTrace(std::string_view(line));
  } catch (...) {
    // Out of memory once more: the trace is lost, the method still answers its failure.
  }
}

}  // namespace sealrun::platform::com
