#pragma once
// The date written under a seal picture or a handwritten signature ("附加日期"), and the preview scaling.
// Pure functions of their inputs: the dialog keeps the prepared picture and its size.
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/imaging/Image.h"
#include "platform/imaging/TextRenderer.h"

namespace sealrun::signing {

struct StampDate {
  int year = 1970;
  int month = 1;
  int day = 1;
};

// The local calendar date of a moment.
StampDate LocalStampDate(std::chrono::system_clock::time_point time);
// "%04d年%02d月%02d日", e.g. 2024年03月05日.
std::u16string FormatDateText(StampDate date);

// A seal's date is centred under it; a handwritten signature's is right-aligned.
enum class DateAlignment { Centred, Right };

// Where the parts go on the canvas: width max(w, cx), height h + 12, the picture at ((W - w) / 2, 0), the
// text at y = h + 1 and x = (W - cx) / 2 + 1 (centred) or W - cx + 1 (right), integer division.
struct DateStampLayout {
  int canvasWidth = 0;
  int canvasHeight = 0;
  int imageX = 0;
  int textX = 0;
  int textY = 0;
};
DateStampLayout ComputeDateStampLayout(int imageWidth, int imageHeight, int textWidth, DateAlignment alignment);

// The date font: "宋体" with a 12-pixel cell.
inline constexpr int kDateCellHeight = 12;
std::optional<platform::imaging::TextRenderer> CreateDateFont();

enum class DateStampError { None, UndecodablePicture, NoFont, EncodeFailed };

struct ComposedStamp {
  DateStampError error = DateStampError::None;
  std::string png;  // opaque PNG of the canvas
  int width = 0;
  int height = 0;
};

// The picture with the date under it on white, as PNG. A picture that does not decode is an error: a seal
// must never be stamped without its image.
ComposedStamp ComposeSealWithDate(std::span<const std::uint8_t> picture, StampDate date, DateAlignment alignment,
                                  platform::imaging::TextRenderer& font);
// The same with the date font.
ComposedStamp ComposeSealWithDate(std::span<const std::uint8_t> picture, StampDate date, DateAlignment alignment);

// The picture scaled for the preview control: factor min(clientHeight / h, clientWidth / w), bicubic.
// nullopt for an empty picture or client area.
std::optional<platform::imaging::Image> ScaleToFit(const platform::imaging::Image& image, int clientWidth,
                                                   int clientHeight);

}  // namespace sealrun::signing
