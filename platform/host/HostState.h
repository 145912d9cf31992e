#pragma once
// What the host reader keeps while it runs; the object model's collections read and change it. Owned by
// QuoralPDF; objects handed to add-ins hold it weakly, so one kept past shutdown answers E_UNEXPECTED.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/host/CommandBarObjects.h"
#include "platform/host/DocumentObjects.h"
#include "external/QpHandles.h"
#include "platform/host/PaneObjects.h"
#include "platform/imaging/Image.h"
#include "platform/ui/Window.h"

namespace sealrun::platform::host {

struct ShownPopup {
  com::ComPtr<CommandBarObject> bar;
  std::optional<Point> at;  // view pixels; none: at the pointer
};

struct HostState {
  external::EngineHandle engine;
  std::vector<com::ComPtr<DocumentObject>> documents;
  com::ComPtr<DocumentObject> active;
  std::vector<com::ComPtr<CommandBarObject>> commandBars;
  com::LONG nextControlId = 0x5001;
  std::vector<imaging::Image> images;
  std::vector<com::ComPtr<PaneObject>> panes;
  std::unique_ptr<ui::Window> frame;
  std::optional<ShownPopup> popup;
  com::LONG languageId = 2052;
  // Where the pointer last was (view pixels): popups shown "at the pointer" appear there.
  Point pointer;
};

}  // namespace sealrun::platform::host
