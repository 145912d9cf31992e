#pragma once
// Command bars (toolbars and popups), their controls and the image service. Control ids come from one
// counter of the host, so they are unique however many bars and add-ins there are.
#include <memory>
#include <string>
#include <vector>

#include "external/HostViewer.h"
#include "platform/host/HostObject.h"
#include "platform/imaging/Image.h"

namespace sealrun::platform::host {

struct HostState;

class ControlObject final : public HostObject<ControlObject, external::IHostControl> {
 public:
  explicit ControlObject(com::LONG id) : id_(id) {}

  com::LONG Id() const { return id_; }
  const std::u16string& Caption() const { return caption_; }
  const std::u16string& Tooltip() const { return tooltip_; }
  com::LONG Style() const { return style_; }
  com::LONG Image() const { return image_; }

  com::HRESULT get_Id(com::LONG* id) override;
  com::HRESULT put_Caption(com::BSTR caption) override;
  com::HRESULT get_Caption(com::BSTR* caption) override;
  com::HRESULT put_TooltipText(com::BSTR text) override;
  com::HRESULT put_Style(com::LONG style) override;
  com::HRESULT put_Image(com::LONG image) override;

 private:
  com::LONG id_;
  std::u16string caption_;
  std::u16string tooltip_;
  com::LONG style_ = 0;
  com::LONG image_ = 0;
};

class CommandBarObject final : public HostObject<CommandBarObject, external::IHostCommandBar> {
 public:
  CommandBarObject(std::weak_ptr<HostState> state, std::u16string name, bool popup)
      : state_(std::move(state)), name_(std::move(name)), popup_(popup) {}

  const std::u16string& Name() const { return name_; }
  bool IsPopup() const { return popup_; }
  bool IsFinished() const { return finished_; }
  const std::vector<com::ComPtr<ControlObject>>& Controls() const { return controls_; }
  // A new control with the next id of the host; null when the host is gone.
  com::ComPtr<ControlObject> AddControl();

  com::HRESULT get_Controls(external::IHostControls** controls) override;
  com::HRESULT Finish() override;
  com::HRESULT ShowPopup(com::VARIANT x, com::VARIANT y) override;
  com::HRESULT get_Name(com::BSTR* name) override;

 private:
  std::weak_ptr<HostState> state_;
  std::u16string name_;
  bool popup_;
  bool finished_ = false;
  std::vector<com::ComPtr<ControlObject>> controls_;
};

class ControlsObject final : public HostObject<ControlsObject, external::IHostControls> {
 public:
  explicit ControlsObject(com::ComPtr<CommandBarObject> bar) : bar_(std::move(bar)) {}
  com::HRESULT Add(com::VARIANT type, com::VARIANT id, com::VARIANT before, com::IDispatch** control) override;
  com::HRESULT get_Count(com::LONG* count) override;

 private:
  com::ComPtr<CommandBarObject> bar_;
};

class CommandBarsObject final : public HostObject<CommandBarsObject, external::IHostCommandBars> {
 public:
  explicit CommandBarsObject(std::weak_ptr<HostState> state) : state_(std::move(state)) {}
  com::HRESULT Item(com::VARIANT name, external::IHostCommandBar** bar) override;
  com::HRESULT Add(com::BSTR name, com::VARIANT type, external::IHostCommandBar** bar) override;

 private:
  std::weak_ptr<HostState> state_;
};

class ImageServiceObject final : public HostObject<ImageServiceObject, external::IHostImageService> {
 public:
  explicit ImageServiceObject(std::weak_ptr<HostState> state) : state_(std::move(state)) {}
  com::HRESULT Register(com::VARIANT bitmap, com::LONG commandId, com::LONG* image) override;

 private:
  std::weak_ptr<HostState> state_;
};

}  // namespace sealrun::platform::host
