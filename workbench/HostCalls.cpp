#include "workbench/HostCalls.h"

#include "workbench/PaneIds.h"
#include "workbench/AddinState.h"
#include "platform/com/Bstr.h"
#include "platform/com/Variant.h"

namespace sealrun::workbench {

using namespace platform::com;

ComPtr<host::IHostApplication> HostApplication() {
  ComPtr<host::IHostApplication> application;
  if (State().host) State().host.As(application);
  return application;
}

ComPtr<host::IHostDocument> ActiveDocument() {
  ComPtr<host::IHostDocument> document;
  const auto application = HostApplication();
  if (!application) return document;
  ComPtr<host::IHostDocuments> documents;
  if (FAILED(application->get_Documents(documents.Out())) || !documents) return document;
  if (FAILED(documents->get_ActiveDocument(document.Out()))) document.Reset();
  return document;
}

ComPtr<host::IHostPageView> PageViewOf(host::IHostDocument* document) {
  ComPtr<host::IHostPageView> pageView;
  if (document == nullptr) return pageView;
  ComPtr<host::IHostView> view;
  if (FAILED(document->get_View(view.Out())) || !view) return pageView;
  if (FAILED(view->get_PageView(pageView.Out()))) pageView.Reset();
  return pageView;
}

namespace {

ComPtr<host::IHostPanes> Panes() {
  ComPtr<host::IHostPanes> panes;
  const auto application = HostApplication();
  if (application && FAILED(application->get_Panes(panes.Out()))) panes.Reset();
  return panes;
}

}  // namespace

ComPtr<host::IHostPane> FindPane(std::u16string_view name) {
  ComPtr<host::IHostPane> pane;
  const auto panes = Panes();
  if (!panes) return pane;
  Variant key(name);
  if (FAILED(panes->Item(*key.Get(), pane.Out()))) pane.Reset();
  return pane;
}

ComPtr<host::IHostPane> FindOrAddPane(std::u16string_view name, std::u16string_view caption) {
  auto pane = FindPane(name);
  if (pane) return pane;
  const auto panes = Panes();
  if (!panes) return pane;
  const Bstr nameText(name);
  const Bstr captionText(caption);
  const Bstr progId(kBatchPaneIndependentProgId);
  if (FAILED(panes->Add(nameText.Get(), captionText.Get(), progId.Get(), host::kHostPanePlacementRight, pane.Out())))
    pane.Reset();
  return pane;
}

HRESULT OpenDocumentInHost(std::u16string_view path) {
  const auto application = HostApplication();
  if (!application) return E_UNEXPECTED;
  ComPtr<host::IHostDocuments> documents;
  HRESULT hr = application->get_Documents(documents.Out());
  if (FAILED(hr) || !documents) return FAILED(hr) ? hr : E_UNEXPECTED;
  Variant pathValue(path);
  Variant missing = Variant::Missing();
  ComPtr<host::IHostDocument> opened;
  return documents->Open(*pathValue.Get(), *missing.Get(), *missing.Get(), *missing.Get(), opened.Out());
}

std::u16string CustomProperty(host::IHostAnnotation* annotation, std::u16string_view name) {
  if (annotation == nullptr) return {};
  const Bstr key(name);
  Bstr value;
  if (FAILED(annotation->GetCustomProperty(key.Get(), value.Out()))) return {};
  return value.ToU16String();
}

}  // namespace sealrun::workbench
