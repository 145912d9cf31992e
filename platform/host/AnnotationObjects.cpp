#include "platform/host/AnnotationObjects.h"

#include "platform/com/Bstr.h"
#include "platform/host/AnnotationData.h"
#include "platform/text/Utf.h"

namespace sealrun::platform::host {
namespace {

std::u16string_view View(com::BSTR text) { return {text ? text : u"", com::SysStringLen(text)}; }

}  // namespace

com::ComPtr<AnnotationObject> MakeAnnotationObject(const std::shared_ptr<DocumentCore>& core, int pageIndex,
                                                  qp_annot annotation) {
  const std::optional<AnnotationRef> ref = core->RefOf(pageIndex, annotation);
  com::ComPtr<AnnotationObject> object;
  if (ref) AnnotationObject::Create(object, core, *ref);
  return object;
}

qp_annot AnnotationObject::Live() const { return core_->IsOpen() ? core_->Resolve(ref_) : nullptr; }

com::HRESULT AnnotationObject::get_TypeName(com::BSTR* name) {
  qp_annot annot = Live();
  if (annot == nullptr) return com::E_UNEXPECTED;
  return GiveOutText(AnnotationType(annot), name);
}

com::HRESULT AnnotationObject::get_Name(com::BSTR* name) {
  qp_annot annot = Live();
  if (annot == nullptr) return com::E_UNEXPECTED;
  return GiveOutText(AnnotationName(annot), name);
}

com::HRESULT AnnotationObject::put_Name(com::BSTR name) {
  qp_annot annot = Live();
  if (annot == nullptr) return com::E_UNEXPECTED;
  return SetAnnotationName(core_->Handle(), annot, View(name)) ? com::S_OK : com::E_FAIL;
}

com::HRESULT AnnotationObject::RectPart(int part, double* value) const {
  if (value == nullptr) return com::E_POINTER;
  *value = 0;
  qp_annot annot = Live();
  if (annot == nullptr) return com::E_UNEXPECTED;
  const std::optional<Box> rect = AnnotationHostRect(annot, *core_->Geometry(ref_.pageIndex));
  if (!rect) return com::S_FALSE;
  const double parts[] = {rect->x0, rect->y0, rect->Width(), rect->Height()};
  *value = parts[part];
  return com::S_OK;
}

com::HRESULT AnnotationObject::get_Left(double* value) { return RectPart(0, value); }
com::HRESULT AnnotationObject::get_Top(double* value) { return RectPart(1, value); }
com::HRESULT AnnotationObject::get_Width(double* value) { return RectPart(2, value); }
com::HRESULT AnnotationObject::get_Height(double* value) { return RectPart(3, value); }

com::HRESULT AnnotationObject::SetRect(double x1, double y1, double x2, double y2) {
  qp_annot annot = Live();
  if (annot == nullptr) return com::E_UNEXPECTED;
  return SetAnnotationHostRect(annot, *core_->Geometry(ref_.pageIndex), {x1, y1, x2, y2}) ? com::S_OK
                                                                                            : com::E_INVALIDARG;
}

com::HRESULT AnnotationObject::SetImageFile(com::VARIANT path, com::LONG* result) {
  if (result != nullptr) *result = 0;
  qp_annot annot = Live();
  if (annot == nullptr) return com::E_UNEXPECTED;
  const std::optional<std::u16string> text = com::Variant(path).AsString();
  if (!text || text->empty()) return com::E_INVALIDARG;
  if (!SetAnnotationImageFile(core_->Handle(), annot, *text)) return com::E_FAIL;
  if (result != nullptr) *result = 1;
  return com::S_OK;
}

com::HRESULT AnnotationObject::put_BlendMode(com::BSTR mode) {
  qp_annot annot = Live();
  if (annot == nullptr) return com::E_UNEXPECTED;
  const std::string name = text::Utf16ToUtf8(View(mode));
  if (name.empty()) return com::E_INVALIDARG;
  return qp_annot_set_blendmode(annot, name.c_str()) == QP_OK ? com::S_OK : com::E_INVALIDARG;
}

com::HRESULT AnnotationObject::UpdateAppearance() {
  qp_annot annot = Live();
  if (annot == nullptr) return com::E_UNEXPECTED;
  return qp_annot_update(annot) == QP_OK ? com::S_OK : com::E_FAIL;
}

com::HRESULT AnnotationObject::put_Rotation(com::LONG degrees) {
  qp_annot annot = Live();
  if (annot == nullptr) return com::E_UNEXPECTED;
  return qp_annot_set_rotate(annot, NormaliseRotation(degrees)) == QP_OK ? com::S_OK : com::E_INVALIDARG;
}

com::HRESULT AnnotationObject::get_Rotation(com::LONG* degrees) {
  if (degrees == nullptr) return com::E_POINTER;
  *degrees = 0;
  qp_annot annot = Live();
  if (annot == nullptr) return com::E_UNEXPECTED;
  *degrees = AnnotationRotation(annot);
  return com::S_OK;
}

com::HRESULT AnnotationObject::SetCustomProperty(com::BSTR name, com::BSTR value) {
  qp_annot annot = Live();
  if (annot == nullptr) return com::E_UNEXPECTED;
  if (View(name).empty()) return com::E_INVALIDARG;
  return host::SetCustomProperty(core_->Handle(), annot, View(name), View(value)) ? com::S_OK : com::E_FAIL;
}

com::HRESULT AnnotationObject::GetCustomProperty(com::BSTR name, com::BSTR* value) {
  if (value == nullptr) return com::E_POINTER;
  *value = nullptr;
  qp_annot annot = Live();
  if (annot == nullptr) return com::E_UNEXPECTED;
  const std::optional<std::u16string> stored = host::GetCustomProperty(annot, View(name));
  if (!stored) return com::S_FALSE;
  return GiveOutText(*stored, value);
}

com::HRESULT AnnotationObject::Select(com::LONG* value) {
  if (value != nullptr) *value = 0;
  if (Live() == nullptr) return com::E_UNEXPECTED;
  core_->selected = ref_;
  return com::S_OK;
}

com::HRESULT AnnotationObject::Delete() {
  if (Live() == nullptr) return com::E_UNEXPECTED;
  return core_->DeleteAnnotation(ref_) ? com::S_OK : com::E_FAIL;
}

com::HRESULT AnnotationsObject::Item(com::LONG index, external::IHostAnnotation** annotation) {
  if (annotation == nullptr) return com::E_POINTER;
  *annotation = nullptr;
  if (!core_->IsOpen()) return com::E_UNEXPECTED;
  const std::vector<qp_annot> annots = core_->Annotations(pageIndex_);
  if (index < 0 || static_cast<size_t>(index) >= annots.size()) return com::S_FALSE;
  return GiveOut(MakeAnnotationObject(core_, pageIndex_, annots[static_cast<size_t>(index)]), annotation);
}

com::HRESULT AnnotationsObject::get_Count(com::LONG* count) {
  if (count == nullptr) return com::E_POINTER;
  *count = 0;
  if (!core_->IsOpen()) return com::E_UNEXPECTED;
  *count = static_cast<com::LONG>(core_->Annotations(pageIndex_).size());
  return com::S_OK;
}

com::HRESULT AnnotationsObject::Add(com::LONG type, external::IHostAnnotation** annotation) {
  if (annotation == nullptr) return com::E_POINTER;
  *annotation = nullptr;
  if (type != external::kHostAnnotationImage) return com::E_INVALIDARG;
  if (!core_->IsOpen()) return com::E_UNEXPECTED;
  qp_annot created = core_->AddImageAnnotation(pageIndex_);
  if (created == nullptr) return com::E_FAIL;
  return GiveOut(MakeAnnotationObject(core_, pageIndex_, created), annotation);
}

}  // namespace sealrun::platform::host
