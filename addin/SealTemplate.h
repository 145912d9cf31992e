#pragma once
// The placement records the pre-stamps are read back into: the signing engine's SealTemplate, in the
// host's displayed page frame, with the corner offsets measured on the page as displayed.
#include <cstdint>
#include <string_view>

#include "signing/PlacementCorners.h"
#include "signing/SealTemplate.h"
#include "workbench/TemplateReadBack.h"

namespace sealrun::addin {

using signing::ComputeCornerOffsets;
using signing::Corner;
using signing::CornerOffset;
using signing::SealTemplate;

using workbench::ImageRotationFromText;

}  // namespace sealrun::addin
