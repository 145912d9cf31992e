#pragma once
// What the host reads and writes in an annotation's dictionary: its type, its name (/NM), its rectangle
// in the host frame, its rotation, the custom properties (kept in the dictionary so they are saved with
// it) and an image appearance made from a picture file.
#include <optional>
#include <string>

#include "external/qp.h"
#include "platform/host/PageGeometry.h"

namespace sealrun::platform::host {

// The dictionary key holding the custom properties: an array of name, value, name, value... text strings.
inline constexpr const char* kCustomPropertiesKey = "QPXCustomProperties";

std::u16string AnnotationType(qp_annot annotation);
std::u16string AnnotationName(qp_annot annotation);
bool SetAnnotationName(qp_document document, qp_annot annotation, std::u16string_view name);
// /Rect in the host frame; nullopt when the annotation has no usable rectangle.
std::optional<Box> AnnotationHostRect(qp_annot annotation, const PageGeometry& geometry);
bool SetAnnotationHostRect(qp_annot annotation, const PageGeometry& geometry, Box host);
// /Rotate of the annotation (0 when absent).
int AnnotationRotation(qp_annot annotation);
// Not shown on the page: /F bit 2 (hidden), or a popup that is not open.
bool IsAnnotationHidden(qp_annot annotation);

std::optional<std::u16string> GetCustomProperty(qp_annot annotation, std::u16string_view name);
bool SetCustomProperty(qp_document document, qp_annot annotation, std::u16string_view name,
                       std::u16string_view value);

// Decodes the picture file and makes it the annotation's appearance (transparency kept as a soft mask;
// JPEG files are stored as they are). False when the file is missing or is not a picture.
bool SetAnnotationImageFile(qp_document document, qp_annot annotation, const std::u16string& path);

// A PDF text string: bytes as they are when all ASCII, else UTF-16BE with its byte-order mark.
std::string EncodeTextString(std::u16string_view text);
// Reads UTF-16BE (with mark), UTF-8 (with mark) or PDFDocEncoding (taken as Latin-1).
std::u16string DecodeTextString(std::string_view bytes);

}  // namespace sealrun::platform::host
