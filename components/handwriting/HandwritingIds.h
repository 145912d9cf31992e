#pragma once
// Identity of the handwriting component's automation class.
#include "platform/com/Guid.h"

namespace sealrun::components::handwriting {

// {7A1CA3AE-90AA-4428-95E4-0D43797F06E7}
inline constexpr platform::com::CLSID kHandwritingClsid{
    0x7A1CA3AE, 0x90AA, 0x4428, {0x95, 0xE4, 0x0D, 0x43, 0x79, 0x7F, 0x06, 0xE7}};

inline constexpr char16_t kHandwritingProgId[] = u"Sealrun.Handwriting.1";
inline constexpr char16_t kHandwritingVersionIndependentProgId[] = u"Sealrun.Handwriting";
inline constexpr char16_t kHandwritingDescription[] = u"HandwritingObject Class";

}  // namespace sealrun::components::handwriting
