#include "platform/host/HostDriver.h"

#include <cmath>

#include "platform/ui/Cursor.h"
#include "platform/ui/ListView.h"
#include "platform/ui/Toolbar.h"

namespace sealrun::platform::host {
namespace {

template <typename T>
T* FindDescendant(ui::Window& window) {
  for (const auto& child : window.Children()) {
    if (auto* typed = dynamic_cast<T*>(child.get())) return typed;
    if (T* deeper = FindDescendant<T>(*child)) return deeper;
  }
  return nullptr;
}

}  // namespace

com::HRESULT HostDriver::Start(const HostOptions& options) {
  hostContextMenus_ = 0;
  return host_.Start(options);
}

com::HRESULT HostDriver::OpenDocument(const std::u16string& path) { return host_.OpenDocument(path); }

com::HRESULT HostDriver::SaveActiveDocument() {
  const auto document = host_.ActiveDocument();
  return document ? document->Save() : com::E_UNEXPECTED;
}

bool HostDriver::SetZoom(double zoom) {
  const auto document = host_.ActiveDocument();
  return document && document->Core()->View().SetZoom(zoom);
}

bool HostDriver::SetViewRotation(int degrees) {
  const auto document = host_.ActiveDocument();
  if (!document || degrees % 90 != 0) return false;
  document->Core()->View().SetRotation(degrees);
  return true;
}

bool HostDriver::SetScroll(Point pixels) {
  const auto document = host_.ActiveDocument();
  if (!document) return false;
  document->Core()->View().SetScroll(pixels);
  return true;
}

bool HostDriver::ClickIn(const CommandBarObject& bar, com::LONG id, std::u16string_view caption, bool byCaption) {
  for (const auto& control : bar.Controls()) {
    if (byCaption ? control->Caption() == caption : control->Id() == id) {
      host_.Application()->FireCommand(control->Id());
      return true;
    }
  }
  return false;
}

bool HostDriver::ClickControl(com::LONG id) {
  if (!host_.IsRunning()) return false;
  // A copy: a command handler may add bars.
  const auto bars = host_.State().commandBars;
  for (const auto& bar : bars)
    if (!bar->IsPopup() && bar->IsFinished() && ClickIn(*bar.Get(), id, {}, false)) return true;
  return false;
}

bool HostDriver::ClickControl(std::u16string_view caption) {
  if (!host_.IsRunning()) return false;
  const auto bars = host_.State().commandBars;
  for (const auto& bar : bars)
    if (!bar->IsPopup() && bar->IsFinished() && ClickIn(*bar.Get(), 0, caption, true)) return true;
  return false;
}

bool HostDriver::ClickPopupItem(com::LONG id) {
  if (!host_.IsRunning() || !host_.State().popup) return false;
  const com::ComPtr<CommandBarObject> bar = host_.State().popup->bar;
  host_.State().popup.reset();
  return ClickIn(*bar.Get(), id, {}, false);
}

bool HostDriver::ClickPopupItem(std::u16string_view caption) {
  if (!host_.IsRunning() || !host_.State().popup) return false;
  const com::ComPtr<CommandBarObject> bar = host_.State().popup->bar;
  host_.State().popup.reset();
  return ClickIn(*bar.Get(), 0, caption, true);
}

const std::optional<ShownPopup>& HostDriver::Popup() {
  static const std::optional<ShownPopup> none;
  return host_.IsRunning() ? host_.State().popup : none;
}

void HostDriver::DismissPopup() {
  if (host_.IsRunning()) host_.State().popup.reset();
}

std::optional<Point> HostDriver::PixelOf(int pageIndex, Point point) {
  const auto document = host_.ActiveDocument();
  if (!document) return std::nullopt;
  const std::optional<Point> pixel = document->Core()->View().PageToPixel(pageIndex, point);
  if (!pixel) return std::nullopt;
  // The pointer delivers whole pixels.
  return Point{std::round(pixel->x), std::round(pixel->y)};
}

PointerResult HostDriver::Pointer(com::DISPID id, com::ULONGLONG w, Point pixel) {
  PointerResult result;
  result.pixel = pixel;
  const auto document = host_.ActiveDocument();
  if (!document) return result;
  host_.State().pointer = pixel;
  const std::shared_ptr<DocumentCore> core = document->Core();
  const std::optional<PagePoint> hit = core->View().PixelToPage(pixel);
  result.onPage = hit.has_value();
  const com::ULONGLONG l = external::MakeHostEventL(static_cast<int>(pixel.x), static_cast<int>(pixel.y));
  const com::ComPtr<PageViewObject> view = document->PageView();
  com::IDispatch* viewDispatch = static_cast<external::IHostPageView*>(view.Get());
  if (id == external::kHostEventClick) host_.Application()->FireViewEvent(external::kHostEventMouse, viewDispatch, w, l);
  result.handled = host_.Application()->FireViewEvent(id, viewDispatch, w, l) != 0;
  if (result.handled) return result;
  result.hostReacted = true;
  switch (id) {
    case external::kHostEventClick:
      // The host's own click: the annotation under the pointer becomes the current one.
      core->selected.reset();
      if (hit) {
        if (qp_annot found = AnnotationAtPoint(*core, hit->pageIndex, hit->point))
          core->selected = core->RefOf(hit->pageIndex, found);
      }
      break;
    case external::kHostEventContext:
      ++hostContextMenus_;
      break;
    case external::kHostEventSetCursor:
      ui::SetCursor(nullptr);
      break;
    default:
      break;
  }
  return result;
}

PointerResult HostDriver::ClickPixel(Point pixel) { return Pointer(external::kHostEventClick, kMouseLeftButton, pixel); }
PointerResult HostDriver::RightClickPixel(Point pixel) {
  return Pointer(external::kHostEventContext, kMouseRightButton, pixel);
}
PointerResult HostDriver::CursorAtPixel(Point pixel) { return Pointer(external::kHostEventSetCursor, 0, pixel); }

PointerResult HostDriver::Click(int pageIndex, Point point) {
  const std::optional<Point> pixel = PixelOf(pageIndex, point);
  return pixel ? ClickPixel(*pixel) : PointerResult{};
}

PointerResult HostDriver::RightClick(int pageIndex, Point point) {
  const std::optional<Point> pixel = PixelOf(pageIndex, point);
  return pixel ? RightClickPixel(*pixel) : PointerResult{};
}

PointerResult HostDriver::CursorAt(int pageIndex, Point point) {
  const std::optional<Point> pixel = PixelOf(pageIndex, point);
  return pixel ? CursorAtPixel(*pixel) : PointerResult{};
}

bool HostDriver::ShowPane(std::u16string_view name, bool visible) {
  const auto pane = host_.Pane(name);
  if (!pane) return false;
  pane->put_Visible(visible ? com::VARIANT_TRUE : com::VARIANT_FALSE);
  return true;
}

bool HostDriver::FocusPane(std::u16string_view name) {
  const auto pane = host_.Pane(name);
  if (!pane || !ShowPane(name)) return false;
  if (ui::FromHandle(pane->ControlWindow()) == nullptr) return false;
  ui::SendMessage(pane->ControlWindow(), ui::kWmSetFocus);
  return true;
}

ui::Window* HostDriver::PaneWindow(std::u16string_view name) {
  const auto pane = host_.Pane(name);
  return pane ? ui::FromHandle(pane->ControlWindow()) : nullptr;
}

bool HostDriver::PressPaneButton(std::u16string_view name, int commandId) {
  ui::Window* window = PaneWindow(name);
  if (window == nullptr) return false;
  if (ui::Toolbar* toolbar = FindDescendant<ui::Toolbar>(*window)) {
    for (const auto& button : toolbar->Buttons())
      if (button.commandId == commandId) return toolbar->Press(commandId);
  }
  ui::SendMessage(window->Handle(), ui::kWmCommand, ui::MakeCommandParam(commandId, ui::kBnClicked));
  return true;
}

bool HostDriver::DoubleClickRow(std::u16string_view name, int row) {
  ui::Window* window = PaneWindow(name);
  if (window == nullptr) return false;
  ui::ListView* list = FindDescendant<ui::ListView>(*window);
  if (list == nullptr || !list->SelectRow(row)) return false;
  return list->DoubleClick();
}

}  // namespace sealrun::platform::host
