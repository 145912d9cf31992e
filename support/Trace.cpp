#include "support/Trace.h"

#include <string>

#include "platform/fs/DebugTrace.h"
#include "platform/text/Utf.h"

namespace sealrun::support {

void Trace(std::u16string_view text) {
  if (!platform::fs::DebugTraceEnabled()) return;
  platform::fs::DebugTrace(platform::text::Widen(kTracePrefix) + std::u16string(text));
}

void Trace(std::string_view utf8Text) {
  if (!platform::fs::DebugTraceEnabled()) return;
  platform::fs::DebugTrace(std::string_view(std::string(kTracePrefix) + std::string(utf8Text)));
}

}  // namespace sealrun::support
