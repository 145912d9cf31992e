#pragma once
// The placement records the pre-stamps are read back into: the signing engine's SealTemplate, in the
// host's displayed page frame, with the corner offsets measured on the page as displayed.
#include <cstdint>
#include <string_view>

#include "signing/PlacementCorners.h"
#include "signing/SealTemplate.h"

namespace sealrun::addin {

using signing::ComputeCornerOffsets;
using signing::Corner;
using signing::CornerOffset;
using signing::SealTemplate;

// The image rotation stored as text with a pre-stamp: "0", "90", "180" or "270"; anything else is 0.
int32_t ImageRotationFromText(std::u16string_view text);

}  // namespace sealrun::addin
