#include "signing/DateStamp.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "platform/imaging/Composite.h"
#include "platform/imaging/ImageCodec.h"
#include "platform/imaging/Resample.h"

namespace sealrun::signing {

namespace imaging = platform::imaging;

StampDate LocalStampDate(std::chrono::system_clock::time_point time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return {};
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::u16string FormatDateText(StampDate date) {
  char digits[3][16] = {};
  std::snprintf(digits[0], sizeof digits[0], "%04d", date.year);
  std::snprintf(digits[1], sizeof digits[1], "%02d", date.month);
  std::snprintf(digits[2], sizeof digits[2], "%02d", date.day);
  const char16_t* units[3] = {u"年", u"月", u"日"};
  std::u16string text;
  for (int i = 0; i < 3; ++i) {
    for (const char* p = digits[i]; *p != '\0'; ++p) text += static_cast<char16_t>(*p);
    text += units[i];
  }
  return text;
}

DateStampLayout ComputeDateStampLayout(int imageWidth, int imageHeight, int textWidth, DateAlignment alignment) {
  DateStampLayout layout;
  layout.canvasWidth = std::max(imageWidth, textWidth);
  layout.canvasHeight = imageHeight + kDateCellHeight;
  layout.imageX = (layout.canvasWidth - imageWidth) / 2;
  layout.textY = imageHeight + 1;
  layout.textX = alignment == DateAlignment::Centred ? (layout.canvasWidth - textWidth) / 2 + 1
                                                     : layout.canvasWidth - textWidth + 1;
  return layout;
}

std::optional<imaging::TextRenderer> CreateDateFont() {
  return imaging::TextRenderer::Create(u"宋体", kDateCellHeight);
}

ComposedStamp ComposeSealWithDate(std::span<const std::uint8_t> picture, StampDate date, DateAlignment alignment,
                                  imaging::TextRenderer& font) {
  ComposedStamp stamp;
  const std::optional<imaging::Image> source = imaging::DecodeImage(picture);
  if (!source) {
    stamp.error = DateStampError::UndecodablePicture;
    return stamp;
  }
  const std::u16string text = FormatDateText(date);
  const int textWidth = font.Measure(text).width;
  const DateStampLayout layout = ComputeDateStampLayout(source->Width(), source->Height(), textWidth, alignment);
  // White and opaque: the date must read on any page, whatever the picture's transparency.
  std::optional<imaging::Image> canvas =
      imaging::MakeCanvas(layout.canvasWidth, layout.canvasHeight, imaging::Rgb{255, 255, 255});
  if (!canvas) {
    stamp.error = DateStampError::EncodeFailed;
    return stamp;
  }
  imaging::DrawImage(*canvas, *source, layout.imageX, 0);
  font.Draw(*canvas, layout.textX, layout.textY, text);
  std::optional<std::string> png = imaging::EncodePng(*canvas);
  if (!png) {
    stamp.error = DateStampError::EncodeFailed;
    return stamp;
  }
  stamp.png = std::move(*png);
  stamp.width = layout.canvasWidth;
  stamp.height = layout.canvasHeight;
  return stamp;
}

ComposedStamp ComposeSealWithDate(std::span<const std::uint8_t> picture, StampDate date, DateAlignment alignment) {
  std::optional<imaging::TextRenderer> font = CreateDateFont();
  if (!font) {
    ComposedStamp stamp;
    stamp.error = imaging::DecodeImage(picture) ? DateStampError::NoFont : DateStampError::UndecodablePicture;
    return stamp;
  }
  return ComposeSealWithDate(picture, date, alignment, *font);
}

std::optional<imaging::Image> ScaleToFit(const imaging::Image& image, int clientWidth, int clientHeight) {
  if (image.Width() < 1 || image.Height() < 1 || clientWidth < 1 || clientHeight < 1) return std::nullopt;
  const double scale = std::min(static_cast<double>(clientHeight) / image.Height(),
                                static_cast<double>(clientWidth) / image.Width());
  const int width = std::max(1, static_cast<int>(image.Width() * scale));
  const int height = std::max(1, static_cast<int>(image.Height() * scale));
  return imaging::ResampleBicubic(image, width, height);
}

}  // namespace sealrun::signing
