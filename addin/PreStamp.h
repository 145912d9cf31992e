#pragma once
// The pre-stamp on the template document: placing one where the user clicks, and reading all of them back
// as SealTemplate records for the signing run.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com/HResult.h"
#include "platform/com/Types.h"
#include "workbench/TemplateReadBack.h"

namespace sealrun::addin {

using workbench::kImageRotationName;
using workbench::kPreStampMarker;
using workbench::kPreStampMarkerName;
using workbench::ReadBackTemplates;

inline constexpr char16_t kDefaultPreStampName[] = u"预盖位置";
// The default seal picture is handed to the host through this file in the temporary folder.
inline constexpr char16_t kDefaultImageFileName[] = u"SigModel.cmp";

// What a placement needs from the add-in object.
struct PreStampSettings {
  std::u16string sealImagePath;  // empty: the module's default seal
  int32_t sealImageWidth = 0;    // pixels
  int32_t sealImageHeight = 0;
};

// The pre-stamp's size in points from the picture's pixels at 96 pixels per inch (truncated).
int32_t PixelsToPoints(int32_t pixels);
// The effective rotation of a pre-stamp from the view's and the page's rotation (360 is kept).
int32_t EffectiveRotation(int32_t viewRotation, int32_t pageRotation);
// A pre-stamp's name from its picture file: the path without its last four characters (dot and a
// three-letter extension), after the last separator.
std::u16string PreStampNameFromImagePath(std::u16string_view path);

// Places one pre-stamp at the view pixel of a click (the L of the host event) on the active document.
// S_OK after a placement, S_FALSE when the click hit no page (or no document is open).
platform::com::HRESULT PlacePreStamp(const PreStampSettings& settings, platform::com::ULONGLONG l);


}  // namespace sealrun::addin
