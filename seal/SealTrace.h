#pragma once
// The seal source's debugger traces, with the product's trace prefix. PINs never go into a trace.
#include <string>
#include <string_view>

#include "platform/com/HResult.h"

namespace sealrun::seal {

void SealTrace(std::u16string_view text);
// "0x80004005" for an HRESULT, for traces.
std::u16string HresultText(platform::com::HRESULT hr);

}  // namespace sealrun::seal
