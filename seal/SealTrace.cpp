#include "seal/SealTrace.h"

#include <cstdio>

#include "support/Trace.h"


namespace sealrun::seal {

void SealTrace(std::u16string_view text) { support::Trace(text); }

std::u16string HresultText(platform::com::HRESULT hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
  return std::u16string(buffer, buffer + std::char_traits<char>::length(buffer));
}

}  // namespace sealrun::seal
