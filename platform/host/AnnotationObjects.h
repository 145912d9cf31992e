#pragma once
// The annotations of a page and one annotation, as the host's object model shows them.
#include <memory>

#include "external/HostViewer.h"
#include "platform/host/DocumentCore.h"
#include "platform/host/HostObject.h"

namespace sealrun::platform::host {

class AnnotationObject final : public HostObject<AnnotationObject, external::IHostAnnotation> {
 public:
  AnnotationObject(std::shared_ptr<DocumentCore> core, AnnotationRef ref) : core_(std::move(core)), ref_(ref) {}

  const AnnotationRef& Ref() const { return ref_; }

  com::HRESULT get_TypeName(com::BSTR* name) override;
  com::HRESULT get_Name(com::BSTR* name) override;
  com::HRESULT put_Name(com::BSTR name) override;
  com::HRESULT get_Left(double* value) override;
  com::HRESULT get_Top(double* value) override;
  com::HRESULT get_Width(double* value) override;
  com::HRESULT get_Height(double* value) override;
  com::HRESULT SetRect(double x1, double y1, double x2, double y2) override;
  com::HRESULT SetImageFile(com::VARIANT path, com::LONG* result) override;
  com::HRESULT put_BlendMode(com::BSTR mode) override;
  com::HRESULT UpdateAppearance() override;
  com::HRESULT put_Rotation(com::LONG degrees) override;
  com::HRESULT get_Rotation(com::LONG* degrees) override;
  com::HRESULT SetCustomProperty(com::BSTR name, com::BSTR value) override;
  com::HRESULT GetCustomProperty(com::BSTR name, com::BSTR* value) override;
  com::HRESULT Select(com::LONG* value) override;
  com::HRESULT Delete() override;

 private:
  // The engine annotation, or null once the document is closed or the annotation deleted.
  qp_annot Live() const;
  // One edge of the host-frame rectangle (0 left, 1 top, 2 width, 3 height).
  com::HRESULT RectPart(int part, double* value) const;

  std::shared_ptr<DocumentCore> core_;
  AnnotationRef ref_;
};

class AnnotationsObject final : public HostObject<AnnotationsObject, external::IHostAnnotations> {
 public:
  AnnotationsObject(std::shared_ptr<DocumentCore> core, int pageIndex) : core_(std::move(core)), pageIndex_(pageIndex) {}

  com::HRESULT Item(com::LONG index, external::IHostAnnotation** annotation) override;
  com::HRESULT get_Count(com::LONG* count) override;
  com::HRESULT Add(com::LONG type, external::IHostAnnotation** annotation) override;

 private:
  std::shared_ptr<DocumentCore> core_;
  int pageIndex_;
};

// A new annotation object for an engine annotation of a page; null when it is not on that page.
com::ComPtr<AnnotationObject> MakeAnnotationObject(const std::shared_ptr<DocumentCore>& core, int pageIndex,
                                                  qp_annot annotation);

}  // namespace sealrun::platform::host
