#pragma once
// The image the signing dialog stamps into every file of a run: the seal picture or the handwritten
// signature, with or without the date under it, and its pixel size (keyword placement centres a seal of
// that size). The date is fixed when the image is prepared, not when each file is stamped.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/imaging/Image.h"
#include "signing/DateStamp.h"

namespace sealrun::signing {

// What the dialog keeps between preparations.
struct StampImages {
  std::vector<uint8_t> stamping;     // encoded image stamped by the run
  std::vector<uint8_t> handwriting;  // encoded handwritten signature, filled by the capture
  bool handwritten = false;          // a handwritten signature is in use
  int32_t stampWidth = 0;            // pixel size of the image last prepared; 0 when none could be
  int32_t stampHeight = 0;
};

enum class PrepareResult {
  Prepared,
  NoPicture,    // the seal has no picture (and no handwriting replaces it)
  Undecodable,  // the chosen picture does not decode
  NoDateFont,   // the date cannot be drawn
};

struct PreparedStamp {
  PrepareResult result = PrepareResult::NoPicture;
  std::optional<platform::imaging::Image> image;  // the chosen image, decoded, for the preview
};

// Prepares the stamping image from the seal's picture (empty when the seal has none) or the handwriting.
// With the date ticked the picture is composed with `date` (centred under a seal, right-aligned under a
// handwritten signature) and stored as PNG. Without the date a handwritten signature is only previewed:
// the run takes it over (ImageForRun). On any failure the stamping image is emptied and the size set to
// zero, so that nothing stale can be stamped.
PreparedStamp PrepareStampImage(StampImages& images, std::span<const uint8_t> sealPicture, bool addDate,
                                StampDate date);

// The bytes the run stamps: the handwriting itself when it is in use without a date.
std::span<const uint8_t> ImageForRun(StampImages& images, bool addDate);

}  // namespace sealrun::signing
