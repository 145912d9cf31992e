#pragma once
// The pane control the host creates by ProgID ("Sealrun.Pane") and places in its docking pane: it makes
// its window when the host asks for it and reaches it by handle from then on, so a pane the host has
// destroyed is never touched.
#include "workbench/PaneIds.h"
#include "external/HostViewer.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/Dispatch.h"
#include "workbench/BatchPaneWindow.h"

namespace sealrun::workbench {

namespace com = platform::com;

// The pane's automation interface; it declares no members.
class IQPXBatchPane : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = kIQPXBatchPaneIid;

 protected:
  ~IQPXBatchPane() = default;
};

class CQPXBatchPane final : public com::DispatchObject<CQPXBatchPane, IQPXBatchPane, external::IHostedControl,
                                                      com::IConnectionPointContainer> {
 public:
  // Default extent of the control, in HIMETRIC units.
  static constexpr int kDefaultExtent = 5080;

  CQPXBatchPane();

  static const com::DispatchTable<CQPXBatchPane>& DispatchMembers();

  com::HRESULT CreateControlWindow(external::HostWindowHandle parent, external::HostWindowHandle* window) override;
  com::HRESULT EnumConnectionPoints(com::IEnumConnectionPoints** points) override;
  com::HRESULT FindConnectionPoint(com::REFIID iid, com::IConnectionPoint** point) override;

  // The pane's window while it lives, else null.
  BatchPaneWindow* PaneWindow() const;

 private:
  com::ConnectionPoint events_;
  platform::ui::WindowHandle window_ = 0;
};

}  // namespace sealrun::workbench
