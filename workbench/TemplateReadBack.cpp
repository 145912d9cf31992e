#include "workbench/TemplateReadBack.h"

#include "platform/com/Bstr.h"
#include "signing/PlacementCorners.h"
#include "workbench/AddinState.h"
#include "workbench/HostCalls.h"

namespace sealrun::workbench {

using namespace platform::com;

int32_t ImageRotationFromText(std::u16string_view text) {
  if (text == u"90") return 90;
  if (text == u"180") return 180;
  if (text == u"270") return 270;
  return 0;  // "0" and every other text
}

bool IsPreStamp(host::IHostAnnotation* annotation) {
  return CustomProperty(annotation, kPreStampMarkerName) == kPreStampMarker;
}

ComPtr<host::IHostPages> PagesOf(host::IHostDocument* document) {
  ComPtr<host::IHostPages> pages;
  if (document != nullptr && FAILED(document->get_Pages(pages.Out()))) pages.Reset();
  return pages;
}

ComPtr<host::IHostAnnotations> AnnotationsOf(host::IHostPage* page) {
  ComPtr<host::IHostAnnotations> annotations;
  if (page != nullptr && FAILED(page->get_Annotations(annotations.Out()))) annotations.Reset();
  return annotations;
}

int ReadBackTemplates() {
  AddinState& state = State();
  state.templates.clear();
  const auto document = ActiveDocument();
  if (!document) return -1;
  int answer = 0;
  ForEachAnnotation(document.Get(), [&](LONG pageIndex, host::IHostPage* page, host::IHostAnnotation* annotation) {
    if (!IsPreStamp(annotation)) return;
    SealTemplate record;
    double width = 0;
    double height = 0;
    annotation->get_Left(&record.left);
    annotation->get_Top(&record.top);
    annotation->get_Width(&width);
    annotation->get_Height(&height);
    record.right = record.left + width;
    record.bottom = record.top + height;
    record.pageIndex = pageIndex;
    LONG pageRotation = 0;
    page->get_Rotation(&pageRotation);
    record.pageRotation = pageRotation;
    Bstr name;
    if (SUCCEEDED(annotation->get_Name(name.Out()))) record.name = name.ToU16String();
    record.imageRotation = ImageRotationFromText(CustomProperty(annotation, kImageRotationName));
    page->get_Width(&record.pageWidth);
    page->get_Height(&record.pageHeight);
    signing::ComputeCornerOffsets(record);
    state.templates.push_back(std::move(record));
    answer = 1;
  });
  return answer;
}

}  // namespace sealrun::workbench
