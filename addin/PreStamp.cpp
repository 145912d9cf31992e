#include "addin/PreStamp.h"

#include <filesystem>
#include <string>

#include "addin/AddinState.h"
#include "addin/HostCalls.h"
#include "workbench/TemplateReadBack.h"
#include "addin/Resources.h"
#include "platform/com/Bstr.h"
#include "platform/com/Variant.h"
#include "platform/fs/Files.h"
#include "platform/fs/KnownFolders.h"
#include "platform/fs/Paths.h"
#include "platform/imaging/ImageCodec.h"
#include "platform/text/Utf.h"

namespace sealrun::addin {

using namespace platform::com;
using workbench::ForEachAnnotation;
using workbench::AnnotationsOf;
using workbench::IsPreStamp;
using workbench::PagesOf;

int32_t PixelsToPoints(int32_t pixels) { return pixels * 72 / 96; }

int32_t EffectiveRotation(int32_t viewRotation, int32_t pageRotation) {
  int32_t r = viewRotation + pageRotation;
  if (r > 360) r -= 360;
  if (r == 0) r = pageRotation;
  return r;
}

std::u16string PreStampNameFromImagePath(std::u16string_view path) {
  const std::u16string_view stem = path.size() >= 4 ? path.substr(0, path.size() - 4) : std::u16string_view();
  // Windows writes "\"; paths chosen here may also use "/".
  const size_t cut = stem.find_last_of(u"\\/");
  return std::u16string(cut == std::u16string_view::npos ? stem : stem.substr(cut + 1));
}

namespace {

std::u16string DefaultPreStampName(host::IHostDocument* document) {
  int count = 0;
  ForEachAnnotation(document, [&](LONG, host::IHostPage*, host::IHostAnnotation* annotation) {
    if (IsPreStamp(annotation)) ++count;
  });
  return kDefaultPreStampName + platform::text::Widen(std::to_string(count + 1));
}

// The default seal written as a JPEG file for the host to read; removed again when this goes.
class DefaultImageFile {
 public:
  DefaultImageFile() {
    const auto seal = LoadImageResource(kDefaultSealBitmap);
    if (!seal) return;
    const auto jpeg = platform::imaging::EncodeJpeg(*seal, 90);
    if (!jpeg) return;
    const std::filesystem::path path = platform::fs::TempDir() / platform::fs::PathFromUtf16(kDefaultImageFileName);
    if (platform::fs::ReplaceFileAtomically(path, *jpeg)) path_ = path;
  }
  ~DefaultImageFile() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove(path_, ignored);
  }
  DefaultImageFile(const DefaultImageFile&) = delete;
  DefaultImageFile& operator=(const DefaultImageFile&) = delete;

  std::u16string Path() const { return path_.empty() ? std::u16string() : platform::fs::PathToUtf16(path_); }

 private:
  std::filesystem::path path_;
};

HRESULT SetImage(host::IHostAnnotation* annotation, std::u16string_view path) {
  Variant value(path);
  LONG result = 0;
  return annotation->SetImageFile(*value.Get(), &result);
}

}  // namespace

HRESULT PlacePreStamp(const PreStampSettings& settings, ULONGLONG l) {
  double x = host::HostEventX(l);
  double y = host::HostEventY(l);
  const auto document = ActiveDocument();
  const auto pageView = PageViewOf(document.Get());
  if (!document || !pageView) return S_FALSE;

  const std::u16string name = settings.sealImagePath.empty() ? DefaultPreStampName(document.Get())
                                                             : PreStampNameFromImagePath(settings.sealImagePath);
  LONG pageIndex = -1;
  if (FAILED(pageView->PointToPage(&x, &y, &pageIndex))) return S_FALSE;
  ComPtr<host::IHostPage> page;
  const auto pages = PagesOf(document.Get());
  if (!pages || FAILED(pages->Item(pageIndex, page.Out())) || !page) return S_FALSE;
  const auto annotations = AnnotationsOf(page.Get());
  ComPtr<host::IHostAnnotation> annotation;
  if (!annotations) return S_FALSE;
  if (HRESULT hr = annotations->Add(host::kHostAnnotationImage, annotation.Out()); FAILED(hr) || !annotation)
    return FAILED(hr) ? hr : E_UNEXPECTED;

  const double w = PixelsToPoints(settings.sealImageWidth);
  const double h = PixelsToPoints(settings.sealImageHeight);
  LONG viewRotation = 0;
  LONG pageRotation = 0;
  pageView->get_Rotation(&viewRotation);
  page->get_Rotation(&pageRotation);
  const LONG r = EffectiveRotation(viewRotation, pageRotation);
  // The host's page frame already shows the page turned by its /Rotate, so only a turned view stands the
  // seal's width along the page's height; swapping for the page's own rotation too would squash the seal.
  if (viewRotation == 90 || viewRotation == 270)
    annotation->SetRect(x - h / 2, y - w / 2, x + h / 2, y + w / 2);
  else
    annotation->SetRect(x - w / 2, y - h / 2, x + w / 2, y + h / 2);
  annotation->put_Rotation(r);

  if (!settings.sealImagePath.empty()) {
    SetImage(annotation.Get(), settings.sealImagePath);
  } else {
    const DefaultImageFile file;
    SetImage(annotation.Get(), file.Path());
  }

  annotation->put_Rotation(r);
  const Bstr multiply(u"Multiply");
  annotation->put_BlendMode(multiply.Get());
  annotation->UpdateAppearance();
  const Bstr markerName(kPreStampMarkerName);
  const Bstr marker(kPreStampMarker);
  annotation->SetCustomProperty(markerName.Get(), marker.Get());
  LONG viewRotationNow = 0;
  pageView->get_Rotation(&viewRotationNow);
  const Bstr rotationName(kImageRotationName);
  const Bstr rotationText(platform::text::Widen(std::to_string(viewRotationNow)));
  annotation->SetCustomProperty(rotationName.Get(), rotationText.Get());
  Bstr nameText;
  if (FAILED(nameText.Assign(name))) return E_OUTOFMEMORY;
  annotation->put_Name(nameText.Get());
  pageView->Redraw();
  return S_OK;
}

}  // namespace sealrun::addin
