#pragma once
// Docking panes: each holds an instance of a control created by ProgID, whose window the host keeps as
// the child of the pane's own window.
#include <memory>
#include <string>

#include "external/HostViewer.h"
#include "platform/host/HostObject.h"
#include "platform/ui/Window.h"

namespace sealrun::platform::host {

struct HostState;

class PaneObject final : public HostObject<PaneObject, external::IHostPane> {
 public:
  PaneObject(std::u16string name, std::u16string caption, std::u16string progId, ui::WindowHandle window)
      : name_(std::move(name)), caption_(std::move(caption)), progId_(std::move(progId)), window_(window) {}

  const std::u16string& Name() const { return name_; }
  const std::u16string& Caption() const { return caption_; }
  const std::u16string& ProgId() const { return progId_; }
  bool IsVisible() const { return visible_; }
  // The pane's own window (owned by the host's frame; null once the host is gone) and the control's
  // window inside it.
  ui::Window* Window() const { return ui::FromHandle(window_); }
  ui::WindowHandle ControlWindow() const { return controlWindow_; }
  const com::ComPtr<com::IUnknown>& Control() const { return control_; }

  // Creates the control and lets it make its window in the pane.
  com::HRESULT AttachControl(const com::CLSID& clsid);
  // Releases the control (the host's shutdown).
  void ReleaseControl() { control_.Reset(); }

  com::HRESULT get_Visible(com::VARIANT_BOOL* visible) override;
  com::HRESULT put_Visible(com::VARIANT_BOOL visible) override;
  com::HRESULT put_Caption(com::BSTR caption) override;
  com::HRESULT get_Caption(com::BSTR* caption) override;

 private:
  std::u16string name_;
  std::u16string caption_;
  std::u16string progId_;
  ui::WindowHandle window_;
  com::ComPtr<com::IUnknown> control_;
  ui::WindowHandle controlWindow_ = 0;
  bool visible_ = false;
};

class PanesObject final : public HostObject<PanesObject, external::IHostPanes> {
 public:
  explicit PanesObject(std::weak_ptr<HostState> state) : state_(std::move(state)) {}
  com::HRESULT Item(com::VARIANT name, external::IHostPane** pane) override;
  com::HRESULT Add(com::BSTR name, com::BSTR caption, com::BSTR progId, com::LONG placement,
                   external::IHostPane** pane) override;

 private:
  std::weak_ptr<HostState> state_;
};

}  // namespace sealrun::platform::host
