#pragma once
// A document, its view and page view, its pages and one page, as the host's object model shows them.
#include <memory>

#include "external/HostViewer.h"
#include "platform/host/DocumentCore.h"
#include "platform/host/HostObject.h"

namespace sealrun::platform::host {

class PageViewObject final : public HostObject<PageViewObject, external::IHostPageView> {
 public:
  explicit PageViewObject(std::shared_ptr<DocumentCore> core) : core_(std::move(core)) {}

  com::HRESULT PointToPage(double* x, double* y, com::LONG* pageIndex) override;
  com::HRESULT ObjectAt(double x, double y, com::IDispatch** object) override;
  com::HRESULT AnnotationAt(double x, double y, external::IHostAnnotation** annotation) override;
  com::HRESULT Redraw() override;
  com::HRESULT get_Rotation(com::LONG* degrees) override;

 private:
  std::shared_ptr<DocumentCore> core_;
};

class ViewObject final : public HostObject<ViewObject, external::IHostView> {
 public:
  explicit ViewObject(std::shared_ptr<DocumentCore> core) : core_(std::move(core)) {}
  com::HRESULT get_PageView(external::IHostPageView** pageView) override;

 private:
  std::shared_ptr<DocumentCore> core_;
};

class PageObject final : public HostObject<PageObject, external::IHostPage> {
 public:
  PageObject(std::shared_ptr<DocumentCore> core, int pageIndex) : core_(std::move(core)), pageIndex_(pageIndex) {}

  com::HRESULT get_Annotations(external::IHostAnnotations** annotations) override;
  com::HRESULT get_Width(double* width) override;
  com::HRESULT get_Height(double* height) override;
  com::HRESULT get_Rotation(com::LONG* degrees) override;
  com::HRESULT get_Index(com::LONG* index) override;

 private:
  std::shared_ptr<DocumentCore> core_;
  int pageIndex_;
};

class PagesObject final : public HostObject<PagesObject, external::IHostPages> {
 public:
  explicit PagesObject(std::shared_ptr<DocumentCore> core) : core_(std::move(core)) {}
  com::HRESULT Item(com::LONG index, external::IHostPage** page) override;
  com::HRESULT get_Count(com::LONG* count) override;

 private:
  std::shared_ptr<DocumentCore> core_;
};

class DocumentObject final : public HostObject<DocumentObject, external::IHostDocument> {
 public:
  explicit DocumentObject(std::shared_ptr<DocumentCore> core) : core_(std::move(core)) {}

  const std::shared_ptr<DocumentCore>& Core() const { return core_; }
  // The page view object events carry (one per document, so a sink sees the same object each time).
  com::ComPtr<PageViewObject> PageView();

  com::HRESULT get_Pages(external::IHostPages** pages) override;
  com::HRESULT get_View(external::IHostView** view) override;
  com::HRESULT get_Interaction(com::LONG* value) override;
  com::HRESULT Save() override;
  com::HRESULT get_FullName(com::BSTR* path) override;

 protected:
  // Dispatch id 34: the interaction value as a property.
  com::HRESULT InvokeMember(com::DISPID member, com::WORD flags, com::DISPPARAMS& params,
                            com::VARIANT* result) override;

 private:
  std::shared_ptr<DocumentCore> core_;
  com::ComPtr<PageViewObject> pageView_;
};

// The topmost visible annotation of the page under a host-frame point, or null.
qp_annot AnnotationAtPoint(DocumentCore& core, int pageIndex, Point point);

}  // namespace sealrun::platform::host
