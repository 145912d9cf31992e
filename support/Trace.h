#pragma once
// The add-in's debug traces (shown with SEALRUN_DEBUG=1): every line starts with the product's trace prefix,
// which the people who read these traces search for. PINs never go into a trace.
#include <string_view>

namespace sealrun::support {

inline constexpr char kTracePrefix[] = "ZQ_Ortavex2018_Normal_";

void Trace(std::u16string_view text);
void Trace(std::string_view utf8Text);

}  // namespace sealrun::support
