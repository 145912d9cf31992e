#include "platform/fs/DebugTrace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/text/Utf.h"

namespace sealrun::platform::fs {

bool DebugTraceEnabled() {
  const char* value = std::getenv("SEALRUN_DEBUG");
  return value && std::strcmp(value, "1") == 0;
}

void DebugTrace(std::string_view utf8Line) {
  if (!DebugTraceEnabled()) return;
  std::string line(utf8Line);
  if (line.empty() || line.back() != '\n') line.push_back('\n');
  std::fputs(line.c_str(), stderr);
}

void DebugTrace(std::u16string_view line) {
  if (DebugTraceEnabled()) DebugTrace(std::string_view(text::Utf16ToUtf8(line)));
}

}  // namespace sealrun::platform::fs
