#pragma once
// Identity of the certificate library class, as the system and installers name it.
#include "platform/com/Guid.h"

namespace sealrun::components::certlib {

// {56F0E7EE-123D-4B27-AEFB-2FADC31C6042}
inline constexpr platform::com::CLSID kCertLibraryClsid{
    0x56F0E7EE, 0x123D, 0x4B27, {0xAE, 0xFB, 0x2F, 0xAD, 0xC3, 0x1C, 0x60, 0x42}};

inline constexpr char16_t kCertLibraryProgId[] = u"Sealrun.CertLibrary.1";
inline constexpr char16_t kCertLibraryVersionIndependentProgId[] = u"Sealrun.CertLibrary";

}  // namespace sealrun::components::certlib
