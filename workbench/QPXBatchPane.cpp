#include "workbench/QPXBatchPane.h"

#include "platform/com/Guard.h"

namespace sealrun::workbench {

using namespace platform::com;
namespace ui = platform::ui;

CQPXBatchPane::CQPXBatchPane() : events_(this, kBatchPaneEventsIid) {}

const DispatchTable<CQPXBatchPane>& CQPXBatchPane::DispatchMembers() {
  static const DispatchTable<CQPXBatchPane> table{{}};
  return table;
}

HRESULT CQPXBatchPane::CreateControlWindow(external::HostWindowHandle parent, external::HostWindowHandle* window) {
  if (window == nullptr) return E_POINTER;
  *window = 0;
  if (PaneWindow() != nullptr) {
    *window = window_;
    return S_OK;
  }
  return Guard("CQPXBatchPane::CreateControlWindow", [&] {
    ui::Window* parentWindow = ui::FromHandle(parent);
    if (parentWindow == nullptr) return E_INVALIDARG;
    BatchPaneWindow* created = parentWindow->AddChild(std::make_unique<BatchPaneWindow>());
    window_ = created->Handle();
    ui::SendMessage(window_, ui::kWmCreate);
    created->Move(parentWindow->Bounds().Width() > 0
                      ? ui::Rect{0, 0, parentWindow->Bounds().Width(), parentWindow->Bounds().Height()}
                      : ui::Rect{0, 0, 192, 192});  // 5080 HIMETRIC at 96 pixels per inch
    *window = window_;
    return S_OK;
  });
}

HRESULT CQPXBatchPane::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points) *points = nullptr;
  return E_NOTIMPL;
}

HRESULT CQPXBatchPane::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  ConnectionPoint* const points[] = {&events_};
  return FindConnectionPointIn(points, iid, point);
}

BatchPaneWindow* CQPXBatchPane::PaneWindow() const {
  return window_ == 0 ? nullptr : dynamic_cast<BatchPaneWindow*>(ui::FromHandle(window_));
}

}  // namespace sealrun::workbench
