#pragma once
// The pre-stamps of the template document read back as placement records, for the pane's signing run.
#include <cstdint>
#include <string>
#include <string_view>

#include "external/HostViewer.h"
#include "platform/com/ComPtr.h"
#include "signing/SealTemplate.h"

namespace sealrun::workbench {

namespace host = sealrun::external;

// The custom properties that mark a pre-stamp annotation and keep the view rotation it was placed at.
inline constexpr char16_t kPreStampMarkerName[] = u"CType";
inline constexpr char16_t kPreStampMarker[] = u"SigModel";
inline constexpr char16_t kImageRotationName[] = u"ImageRoate";

// The image rotation stored as text with a pre-stamp: "0", "90", "180" or "270"; anything else is 0.
int32_t ImageRotationFromText(std::u16string_view text);

bool IsPreStamp(host::IHostAnnotation* annotation);

platform::com::ComPtr<host::IHostPages> PagesOf(host::IHostDocument* document);
platform::com::ComPtr<host::IHostAnnotations> AnnotationsOf(host::IHostPage* page);

// Calls `visit(pageIndex, page, annotation)` for every annotation of the document, page by page.
template <typename Visit>
void ForEachAnnotation(host::IHostDocument* document, Visit&& visit) {
  const auto pages = PagesOf(document);
  if (!pages) return;
  platform::com::LONG pageCount = 0;
  if (platform::com::FAILED(pages->get_Count(&pageCount))) return;
  for (platform::com::LONG i = 0; i < pageCount; ++i) {
    platform::com::ComPtr<host::IHostPage> page;
    if (platform::com::FAILED(pages->Item(i, page.Out())) || !page) continue;
    const auto annotations = AnnotationsOf(page.Get());
    if (!annotations) continue;
    platform::com::LONG count = 0;
    if (platform::com::FAILED(annotations->get_Count(&count))) continue;
    for (platform::com::LONG k = 0; k < count; ++k) {
      platform::com::ComPtr<host::IHostAnnotation> annotation;
      if (platform::com::FAILED(annotations->Item(k, annotation.Out())) || !annotation) continue;
      visit(i, page.Get(), annotation.Get());
    }
  }
}

// Refills AddinState.templates from the active document: -1 no document is open, 0 no pre-stamp, 1 at
// least one record.
int ReadBackTemplates();

}  // namespace sealrun::workbench
