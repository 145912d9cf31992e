#include "platform/host/AnnotationData.h"

#include <vector>

#include "external/QpHandles.h"
#include "platform/fs/Files.h"
#include "platform/fs/Paths.h"
#include "platform/imaging/ImageCodec.h"
#include "platform/text/Utf.h"

namespace sealrun::platform::host {
namespace {

using external::CosHandle;
using external::ImageHandle;

// The annotation's dictionary (a handle of its own, released here).
CosHandle Dictionary(qp_annot annotation) { return CosHandle(qp_annot_get_cosobject(annotation)); }

std::u16string StringValue(qp_cos object) {
  if (object == nullptr || !qp_cos_is_string(object)) return {};
  const char* bytes = qp_cos_to_string(object);
  const int length = qp_cos_to_string_len(object);
  if (bytes == nullptr || length <= 0) return {};
  return DecodeTextString(std::string_view(bytes, static_cast<size_t>(length)));
}

// A new string object; the handle is released once the string is put into its container (the engine keeps
// the object itself), so repeated edits do not pile up handles until the document closes.
CosHandle NewTextString(qp_document document, std::u16string_view text) {
  const std::string bytes = EncodeTextString(text);
  return CosHandle(qp_cos_new_string(document, bytes.data(), static_cast<int>(bytes.size()), 0));
}

std::vector<std::pair<std::u16string, std::u16string>> ReadProperties(qp_cos dict) {
  std::vector<std::pair<std::u16string, std::u16string>> properties;
  const CosHandle array(qp_cos_dict_gets(dict, kCustomPropertiesKey));
  if (!array || !qp_cos_is_array(array.get())) return properties;
  const int length = qp_cos_array_len(array.get());
  for (int i = 0; i + 1 < length; i += 2) {
    const CosHandle name(qp_cos_array_get(array.get(), i));
    const CosHandle value(qp_cos_array_get(array.get(), i + 1));
    properties.emplace_back(StringValue(name.get()), StringValue(value.get()));
  }
  return properties;
}

// A qp_image of the picture: JPEG bytes as they are, anything else as 8-bit RGB rows with the alpha
// plane (or the transparent colour) as a soft mask.
ImageHandle MakeEngineImage(qp_document document, const std::string& bytes) {
  const std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  if (imaging::DetectFormat(data) == imaging::ImageFormat::Jpeg) {
    if (ImageHandle jpeg{qp_image_create_from_raw_data(document, 0, bytes.data(), bytes.size())}) return jpeg;
  }
  const std::optional<imaging::Image> decoded = imaging::DecodeImage(data);
  if (!decoded) return nullptr;
  const imaging::Image picture = decoded->ToTrueColor();
  const int width = picture.Width();
  const int height = picture.Height();
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  std::vector<uint8_t> alpha(static_cast<size_t>(width) * static_cast<size_t>(height));
  const std::optional<imaging::Rgb> key = decoded->TransparentColor();
  bool translucent = false;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const imaging::Rgba pixel = picture.PixelAt(x, y);
      const size_t at = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
      rgb[at * 3] = pixel.red;
      rgb[at * 3 + 1] = pixel.green;
      rgb[at * 3 + 2] = pixel.blue;
      uint8_t a = pixel.alpha;
      if (!picture.HasAlpha() && key && imaging::Rgb{pixel.red, pixel.green, pixel.blue} == *key) a = 0;
      alpha[at] = a;
      translucent = translucent || a != 255;
    }
  }
  ImageHandle image(qp_image_create_from_data(document, width, height, 8, QP_COLORSPACE_RGB, rgb.data(), rgb.size()));
  if (!image) return nullptr;
  if (translucent) {
    const ImageHandle mask(
        qp_image_create_from_data(document, width, height, 8, QP_COLORSPACE_GRAY, alpha.data(), alpha.size()));
    if (!mask || qp_image_set_soft_mask(image.get(), mask.get()) != QP_OK) return nullptr;
  }
  return image;
}

}  // namespace

std::string EncodeTextString(std::u16string_view text) {
  bool ascii = true;
  for (const char16_t c : text) ascii = ascii && c >= 0x20 && c < 0x7F;
  if (ascii) return std::string(text.begin(), text.end());
  std::string bytes = "\xFE\xFF";
  for (const char16_t c : text) {
    bytes.push_back(static_cast<char>(c >> 8));
    bytes.push_back(static_cast<char>(c & 0xFF));
  }
  return bytes;
}

std::u16string DecodeTextString(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFE && static_cast<uint8_t>(bytes[1]) == 0xFF) {
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text.push_back(static_cast<char16_t>((static_cast<uint8_t>(bytes[i]) << 8) | static_cast<uint8_t>(bytes[i + 1])));
    return text;
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return text::Utf8ToUtf16(bytes.substr(3));
  std::u16string text;
  for (const char c : bytes) text.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
  return text;
}

std::u16string AnnotationType(qp_annot annotation) {
  const char* subtype = qp_annot_get_subtype(annotation);
  return subtype ? text::Utf8ToUtf16(subtype) : std::u16string();
}

std::u16string AnnotationName(qp_annot annotation) {
  const CosHandle dict = Dictionary(annotation);
  const CosHandle name(qp_cos_dict_gets(dict.get(), "NM"));
  return StringValue(name.get());
}

bool SetAnnotationName(qp_document document, qp_annot annotation, std::u16string_view name) {
  const CosHandle dict = Dictionary(annotation);
  const CosHandle value = NewTextString(document, name);
  return dict && value && qp_cos_dict_puts(dict.get(), "NM", value.get()) == QP_OK;
}

std::optional<Box> AnnotationHostRect(qp_annot annotation, const PageGeometry& geometry) {
  const CosHandle dict = Dictionary(annotation);
  const CosHandle rect(qp_cos_dict_gets(dict.get(), "Rect"));
  if (!rect || !qp_cos_is_array(rect.get()) || qp_cos_array_len(rect.get()) < 4) return std::nullopt;
  double values[4];
  for (int i = 0; i < 4; ++i) {
    const CosHandle value(qp_cos_array_get(rect.get(), i));
    values[i] = qp_cos_to_double(value.get());
  }
  return geometry.UserRectToHost({values[0], values[1], values[2], values[3]});
}

bool SetAnnotationHostRect(qp_annot annotation, const PageGeometry& geometry, Box host) {
  const Point a = geometry.HostToEngine({host.x0, host.y0});
  const Point b = geometry.HostToEngine({host.x1, host.y1});
  return qp_annot_set_rect(annotation, std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x),
                           std::max(a.y, b.y)) == QP_OK;
}

int AnnotationRotation(qp_annot annotation) {
  const CosHandle dict = Dictionary(annotation);
  const CosHandle rotate(qp_cos_dict_gets(dict.get(), "Rotate"));
  return rotate ? qp_cos_to_int(rotate.get()) : 0;
}

bool IsAnnotationHidden(qp_annot annotation) {
  const CosHandle dict = Dictionary(annotation);
  const CosHandle flags(qp_cos_dict_gets(dict.get(), "F"));
  if (flags && (qp_cos_to_int(flags.get()) & 2) != 0) return true;
  if (AnnotationType(annotation) != u"Popup") return false;
  const CosHandle open(qp_cos_dict_gets(dict.get(), "Open"));
  return !open || qp_cos_to_bool(open.get()) == 0;
}

std::optional<std::u16string> GetCustomProperty(qp_annot annotation, std::u16string_view name) {
  const CosHandle dict = Dictionary(annotation);
  if (!dict) return std::nullopt;
  for (const auto& [key, value] : ReadProperties(dict.get()))
    if (key == name) return value;
  return std::nullopt;
}

bool SetCustomProperty(qp_document document, qp_annot annotation, std::u16string_view name,
                       std::u16string_view value) {
  const CosHandle dict = Dictionary(annotation);
  if (!dict) return false;
  auto properties = ReadProperties(dict.get());
  bool replaced = false;
  for (auto& [key, stored] : properties) {
    if (key == name) {
      stored = value;
      replaced = true;
    }
  }
  if (!replaced) properties.emplace_back(name, value);
  // A fresh array each time: the engine offers no element replacement.
  const CosHandle array(qp_cos_new_array(document, static_cast<int>(properties.size() * 2), 0));
  if (!array) return false;
  for (const auto& [key, stored] : properties) {
    const CosHandle keyText = NewTextString(document, key);
    const CosHandle valueText = NewTextString(document, stored);
    if (!keyText || !valueText || qp_cos_array_push(array.get(), keyText.get()) != QP_OK ||
        qp_cos_array_push(array.get(), valueText.get()) != QP_OK)
      return false;
  }
  return qp_cos_dict_puts(dict.get(), kCustomPropertiesKey, array.get()) == QP_OK;
}

bool SetAnnotationImageFile(qp_document document, qp_annot annotation, const std::u16string& path) {
  const std::optional<std::string> bytes = fs::ReadFile(fs::PathFromUtf16(path));
  if (!bytes) return false;
  const ImageHandle image = MakeEngineImage(document, *bytes);
  return image && qp_annot_set_image_appearance_from_handle(annotation, image.get()) == QP_OK;
}

}  // namespace sealrun::platform::host
