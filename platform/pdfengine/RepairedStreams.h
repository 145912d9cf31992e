#pragma once
// Streams whose /Length the rebuild of a damaged cross-reference corrected. The rebuild measures a stream up
// to its "endstream" when the stated length does not lead there, and keeps the measured length in memory
// only: an update that listed the stream where it stands would send readers back to the wrong length.
#include <cstdint>
#include <optional>
#include <span>

#include "platform/pdfengine/Internal.h"

namespace sealrun::platform::pdfengine {

// The /Length an object's source states ("N G obj << ... >> stream"), when it is a direct integer.
std::optional<std::int64_t> StatedLength(std::span<const unsigned char> source);

// Moves every stream of the original bytes whose length in memory differs from the one its source states
// into the document's update, so that the update writes it again with the length the rebuild measured.
void MoveCorrectedStreamsIntoUpdate(fz_context* ctx, pdf_document* doc);

}  // namespace sealrun::platform::pdfengine
