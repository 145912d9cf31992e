#include "signing/StampPreparation.h"

#include "platform/imaging/ImageCodec.h"

namespace sealrun::signing {

namespace imaging = platform::imaging;

namespace {

PreparedStamp Fail(StampImages& images, PrepareResult result) {
  images.stamping.clear();
  images.stampWidth = 0;
  images.stampHeight = 0;
  return PreparedStamp{result, std::nullopt};
}

PrepareResult FromDateError(DateStampError error) {
  switch (error) {
    case DateStampError::UndecodablePicture:
      return PrepareResult::Undecodable;
    case DateStampError::NoFont:
      return PrepareResult::NoDateFont;
    default:
      return PrepareResult::Undecodable;
  }
}

}  // namespace

PreparedStamp PrepareStampImage(StampImages& images, std::span<const uint8_t> sealPicture, bool addDate,
                                StampDate date) {
  // Which bytes the preview (and the size) come from.
  std::span<const uint8_t> chosen;
  if (addDate) {
    const bool handwriting = images.handwritten;
    const std::span<const uint8_t> source = handwriting ? std::span<const uint8_t>(images.handwriting) : sealPicture;
    if (source.empty()) return Fail(images, PrepareResult::NoPicture);
    ComposedStamp composed =
        ComposeSealWithDate(source, date, handwriting ? DateAlignment::Right : DateAlignment::Centred);
    if (composed.error != DateStampError::None) return Fail(images, FromDateError(composed.error));
    images.stamping.assign(composed.png.begin(), composed.png.end());
    chosen = images.stamping;
  } else if (images.handwritten) {
    if (images.handwriting.empty()) return Fail(images, PrepareResult::NoPicture);
    chosen = images.handwriting;
  } else {
    if (sealPicture.empty()) return Fail(images, PrepareResult::NoPicture);
    images.stamping.assign(sealPicture.begin(), sealPicture.end());
    chosen = images.stamping;
  }
  std::optional<imaging::Image> decoded = imaging::DecodeImage(chosen);
  if (!decoded) return Fail(images, PrepareResult::Undecodable);
  images.stampWidth = decoded->Width();
  images.stampHeight = decoded->Height();
  return PreparedStamp{PrepareResult::Prepared, std::move(decoded)};
}

std::span<const uint8_t> ImageForRun(StampImages& images, bool addDate) {
  if (!addDate && images.handwritten && images.stamping != images.handwriting) images.stamping = images.handwriting;
  return images.stamping;
}

}  // namespace sealrun::signing
