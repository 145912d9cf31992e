#pragma once
// Streams whose /Length the rebuild of a damaged cross-reference corrected. The rebuild measures a stream up
// to its "endstream" when the stated length does not lead there, and keeps the measured length in memory
// only: an update that listed the stream where it stands would send readers back to the wrong length.
#include <cstdint>
#include <optional>
#include <span>

#include "platform/pdfengine/Internal.h"

namespace sealrun::platform::pdfengine {

// The /Length an object's source states ("N G obj << ... >> stream"): a number, or a reference to one.
struct StatedLength {
  bool reference = false;
  std::int64_t value = 0;  // the length, or the number of the object holding it
  int generation = 0;      // of that object
};
std::optional<StatedLength> ReadStatedLength(std::span<const unsigned char> source);

// Moves every stream of the original bytes that the rebuild measured because its stated length does not
// lead to its "endstream" into the document's update, so that the update writes it again with the measured
// length. An object stream cannot be written again; the objects inside it are, one by one.
void MoveCorrectedStreamsIntoUpdate(fz_context* ctx, pdf_document* doc);

}  // namespace sealrun::platform::pdfengine
