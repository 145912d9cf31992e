#pragma once
// Identity of the seal key's automation class.
#include "platform/com/Guid.h"

namespace sealrun::components::sealkey {

// {93D0FB2F-CBB1-45F7-AA6A-BEB170BA5A03}
inline constexpr platform::com::CLSID kKeyObjectClsid{
    0x93D0FB2F, 0xCBB1, 0x45F7, {0xAA, 0x6A, 0xBE, 0xB1, 0x70, 0xBA, 0x5A, 0x03}};

inline constexpr char16_t kKeyObjectProgId[] = u"Sealrun.KeyObject.1";
inline constexpr char16_t kKeyObjectVersionIndependentProgId[] = u"Sealrun.KeyObject";
inline constexpr char16_t kKeyObjectDescription[] = u"KeyObject Class";

}  // namespace sealrun::components::sealkey
