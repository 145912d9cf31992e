#include "verify/RunTrace.h"

#include <string>

#include "platform/fs/DebugTrace.h"
#include "platform/text/Utf.h"

namespace sealrun::verify {

void TraceFile(std::u16string_view path, std::string_view what) {
  if (!platform::fs::DebugTraceEnabled()) return;
  std::string line = "ZQ_Ortavex2018_Normal_" + platform::text::Utf16ToUtf8(path);
  line += ": ";
  line += what;
  platform::fs::DebugTrace(std::string_view(line));
}

}  // namespace sealrun::verify
