#pragma once
// Class identifiers of the closed automation components of the seal key installation. The system never
// links against them: it creates them by these ids and calls their members by name.
#include "platform/com/Guid.h"

namespace sealrun::seal {

// The seal key: seals, their pictures, the PIN and the remembered PIN.
inline constexpr platform::com::CLSID kKeyObjectClsid{
    0x93D0FB2F, 0xCBB1, 0x45F7, {0xAA, 0x6A, 0xBE, 0xB1, 0x70, 0xBA, 0x5A, 0x03}};

// The certificate library: the signer certificate in the key's provider, its validation, message signing.
inline constexpr platform::com::CLSID kCertLibraryClsid{
    0x56F0E7EE, 0x123D, 0x4B27, {0xAE, 0xFB, 0x2F, 0xAD, 0xC3, 0x1C, 0x60, 0x42}};

}  // namespace sealrun::seal
