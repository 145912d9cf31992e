#pragma once
// Identity of the handwriting component's automation class.
#include <cstdint>

#include "platform/com/Guid.h"

namespace sealrun::components::handwriting {

// {7A1CA3AE-90AA-4428-95E4-0D43797F06E7}
inline constexpr platform::com::CLSID kHandwritingClsid{
    0x7A1CA3AE, 0x90AA, 0x4428, {0x95, 0xE4, 0x0D, 0x43, 0x79, 0x7F, 0x06, 0xE7}};

inline constexpr char16_t kHandwritingProgId[] = u"Sealrun.Handwriting.1";
inline constexpr char16_t kHandwritingVersionIndependentProgId[] = u"Sealrun.Handwriting";
inline constexpr char16_t kHandwritingDescription[] = u"HandwritingObject Class";

// What ExecuteHandWrite answers.
enum HandWriteResult : int32_t {
  kHandWritten = 0,
  kHandNothingWritten = 1,  // the window was closed without a signature
};

}  // namespace sealrun::components::handwriting
