#pragma once
// Identities of the test server module's class and event interface.
#include "platform/com/Guid.h"

namespace sealrun::platform::com::testserver {

// {6D1F3C52-0B7A-4E51-9C3E-2A8B5D41E7F0}
inline constexpr CLSID kCounterClsid{0x6D1F3C52, 0x0B7A, 0x4E51, {0x9C, 0x3E, 0x2A, 0x8B, 0x5D, 0x41, 0xE7, 0xF0}};
// {B0E7A9D4-3C21-4F6B-8A55-91D2C7E3F104}
inline constexpr IID kCounterEventsIid{0xB0E7A9D4, 0x3C21, 0x4F6B, {0x8A, 0x55, 0x91, 0xD2, 0xC7, 0xE3, 0xF1, 0x04}};

inline constexpr char16_t kProgId[] = u"Sealrun.TestCounter.1";
inline constexpr char16_t kVersionIndependentProgId[] = u"Sealrun.TestCounter";

// Dispatch id of the event the counter fires: OnFired(text, count).
inline constexpr DISPID kOnFiredId = 7;

}  // namespace sealrun::platform::com::testserver
