#include "verify/RunTrace.h"

#include <string>

#include "platform/fs/DebugTrace.h"
#include "platform/text/Utf.h"
#include "support/Trace.h"

namespace sealrun::verify {

void TraceFile(std::u16string_view path, std::string_view what) {
  if (!platform::fs::DebugTraceEnabled()) return;
  support::Trace(platform::text::Utf16ToUtf8(path) + ": " + std::string(what));
}

}  // namespace sealrun::verify
