#include "platform/host/DocumentObjects.h"

#include "platform/host/AnnotationData.h"
#include "platform/host/AnnotationObjects.h"

namespace sealrun::platform::host {

qp_annot AnnotationAtPoint(DocumentCore& core, int pageIndex, Point point) {
  const PageGeometry* geometry = core.Geometry(pageIndex);
  if (geometry == nullptr) return nullptr;
  const std::vector<qp_annot> annots = core.Annotations(pageIndex);
  // The last one in /Annots is drawn on top.
  for (auto it = annots.rbegin(); it != annots.rend(); ++it) {
    if (IsAnnotationHidden(*it)) continue;
    const std::optional<Box> rect = AnnotationHostRect(*it, *geometry);
    if (rect && point.x >= rect->x0 && point.x <= rect->x1 && point.y >= rect->y0 && point.y <= rect->y1) return *it;
  }
  return nullptr;
}

com::HRESULT PageViewObject::PointToPage(double* x, double* y, com::LONG* pageIndex) {
  if (x == nullptr || y == nullptr || pageIndex == nullptr) return com::E_POINTER;
  if (!core_->IsOpen()) return com::E_UNEXPECTED;
  const std::optional<PagePoint> hit = core_->View().PixelToPage({*x, *y});
  if (!hit) return com::S_FALSE;
  *x = hit->point.x;
  *y = hit->point.y;
  *pageIndex = hit->pageIndex;
  return com::S_OK;
}

com::HRESULT PageViewObject::AnnotationAt(double x, double y, external::IHostAnnotation** annotation) {
  if (annotation == nullptr) return com::E_POINTER;
  *annotation = nullptr;
  if (!core_->IsOpen()) return com::E_UNEXPECTED;
  const std::optional<PagePoint> hit = core_->View().PixelToPage({x, y});
  if (!hit) return com::S_FALSE;
  qp_annot found = AnnotationAtPoint(*core_, hit->pageIndex, hit->point);
  if (found == nullptr) return com::S_FALSE;
  return GiveOut(MakeAnnotationObject(core_, hit->pageIndex, found), annotation);
}

com::HRESULT PageViewObject::ObjectAt(double x, double y, com::IDispatch** object) {
  if (object == nullptr) return com::E_POINTER;
  *object = nullptr;
  // Annotations are the page objects the host knows.
  external::IHostAnnotation* annotation = nullptr;
  const com::HRESULT hr = AnnotationAt(x, y, &annotation);
  *object = annotation;
  return hr;
}

com::HRESULT PageViewObject::Redraw() {
  if (!core_->IsOpen()) return com::E_UNEXPECTED;
  ++core_->redrawCount;
  return com::S_OK;
}

com::HRESULT PageViewObject::get_Rotation(com::LONG* degrees) {
  if (degrees == nullptr) return com::E_POINTER;
  *degrees = core_->View().Rotation();
  return com::S_OK;
}

com::HRESULT ViewObject::get_PageView(external::IHostPageView** pageView) {
  com::ComPtr<PageViewObject> object;
  if (const com::HRESULT hr = PageViewObject::Create(object, core_); FAILED(hr)) return hr;
  return GiveOut(object, pageView);
}

com::HRESULT PageObject::get_Annotations(external::IHostAnnotations** annotations) {
  com::ComPtr<AnnotationsObject> object;
  if (const com::HRESULT hr = AnnotationsObject::Create(object, core_, pageIndex_); FAILED(hr)) return hr;
  return GiveOut(object, annotations);
}

com::HRESULT PageObject::get_Width(double* width) {
  if (width == nullptr) return com::E_POINTER;
  *width = core_->Geometry(pageIndex_)->Width();
  return com::S_OK;
}

com::HRESULT PageObject::get_Height(double* height) {
  if (height == nullptr) return com::E_POINTER;
  *height = core_->Geometry(pageIndex_)->Height();
  return com::S_OK;
}

com::HRESULT PageObject::get_Rotation(com::LONG* degrees) {
  if (degrees == nullptr) return com::E_POINTER;
  *degrees = core_->Geometry(pageIndex_)->Rotate();
  return com::S_OK;
}

com::HRESULT PageObject::get_Index(com::LONG* index) {
  if (index == nullptr) return com::E_POINTER;
  *index = pageIndex_;
  return com::S_OK;
}

com::HRESULT PagesObject::Item(com::LONG index, external::IHostPage** page) {
  if (page == nullptr) return com::E_POINTER;
  *page = nullptr;
  if (!core_->IsOpen()) return com::E_UNEXPECTED;
  if (index < 0 || index >= core_->PageCount()) return com::S_FALSE;
  com::ComPtr<PageObject> object;
  if (const com::HRESULT hr = PageObject::Create(object, core_, static_cast<int>(index)); FAILED(hr)) return hr;
  return GiveOut(object, page);
}

com::HRESULT PagesObject::get_Count(com::LONG* count) {
  if (count == nullptr) return com::E_POINTER;
  *count = core_->IsOpen() ? core_->PageCount() : 0;
  return core_->IsOpen() ? com::S_OK : com::E_UNEXPECTED;
}

com::ComPtr<PageViewObject> DocumentObject::PageView() {
  if (!pageView_) PageViewObject::Create(pageView_, core_);
  return pageView_;
}

com::HRESULT DocumentObject::get_Pages(external::IHostPages** pages) {
  com::ComPtr<PagesObject> object;
  if (const com::HRESULT hr = PagesObject::Create(object, core_); FAILED(hr)) return hr;
  return GiveOut(object, pages);
}

com::HRESULT DocumentObject::get_View(external::IHostView** view) {
  com::ComPtr<ViewObject> object;
  if (const com::HRESULT hr = ViewObject::Create(object, core_); FAILED(hr)) return hr;
  return GiveOut(object, view);
}

com::HRESULT DocumentObject::get_Interaction(com::LONG* value) {
  if (value == nullptr) return com::E_POINTER;
  *value = core_->interaction;
  return com::S_OK;
}

com::HRESULT DocumentObject::Save() {
  if (!core_->IsOpen()) return com::E_UNEXPECTED;
  return core_->Save() == QP_OK ? com::S_OK : com::E_FAIL;
}

com::HRESULT DocumentObject::get_FullName(com::BSTR* path) { return GiveOutText(core_->Path(), path); }

com::HRESULT DocumentObject::InvokeMember(com::DISPID member, com::WORD flags, com::DISPPARAMS& params,
                                          com::VARIANT* result) {
  if (member != external::kDispidDocumentInteraction) return com::DISP_E_MEMBERNOTFOUND;
  if ((flags & com::DISPATCH_PROPERTYGET) == 0) return com::DISP_E_MEMBERNOTFOUND;
  if (params.cArgs != 0) return com::DISP_E_BADPARAMCOUNT;
  if (result != nullptr) {
    com::VariantClear(result);
    result->vt = com::VT_I4;
    result->lVal = core_->interaction;
  }
  return com::S_OK;
}

}  // namespace sealrun::platform::host
