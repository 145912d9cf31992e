#pragma once
// Plays the user of the host reader, for tests and the terminal front end: starts and stops the host,
// opens documents, clicks command bar controls and popup items, clicks and right-clicks on pages, asks
// for the cursor, shows and focuses panes, presses a pane's toolbar buttons, double-clicks a row of its
// list, saves. Page points are given in the host frame; the driver turns them into view pixels with the
// document's view model, as the pointer would deliver them.
#include <optional>
#include <string>

#include "platform/host/QuoralPDF.h"

namespace sealrun::platform::host {

struct PointerResult {
  bool onPage = false;        // the point lies on a page of the active document
  Point pixel;                // the view pixel the events carried
  bool handled = false;       // a sink set handled
  bool hostReacted = false;   // the host's own reaction ran (not handled)
};

class HostDriver {
 public:
  HostDriver() = default;
  ~HostDriver() { Shutdown(); }
  HostDriver(const HostDriver&) = delete;
  HostDriver& operator=(const HostDriver&) = delete;

  com::HRESULT Start(const HostOptions& options = {});
  void Shutdown() { host_.Shutdown(); }
  QuoralPDF& Host() { return host_; }

  // Documents.
  com::HRESULT OpenDocument(const std::u16string& path);
  bool ActivateDocument(const std::u16string& path) { return host_.ActivateDocument(path); }
  com::HRESULT SaveActiveDocument();
  // The active document's view.
  bool SetZoom(double zoom);
  bool SetViewRotation(int degrees);
  bool SetScroll(Point pixels);

  // Command bars: a control of a finished toolbar, by id or caption (event 1). False when there is none.
  bool ClickControl(com::LONG id);
  bool ClickControl(std::u16string_view caption);
  // An item of the popup on show (event 1); the popup closes. False when no popup shows that item.
  bool ClickPopupItem(com::LONG id);
  bool ClickPopupItem(std::u16string_view caption);
  // The popup on show, if any; Escape closes it.
  const std::optional<ShownPopup>& Popup();
  void DismissPopup();
  // Times the host showed its own context menu (a right-click no sink handled).
  int HostContextMenus() const { return hostContextMenus_; }

  // Pointer on the active document: events 2 and 3 for a click, 5 for a right-click, 7 for the cursor.
  // Unhandled, the host selects the annotation under a click, shows its own context menu, or sets the
  // arrow cursor.
  PointerResult Click(int pageIndex, Point point);
  PointerResult RightClick(int pageIndex, Point point);
  PointerResult CursorAt(int pageIndex, Point point);
  PointerResult ClickPixel(Point pixel);
  PointerResult RightClickPixel(Point pixel);
  PointerResult CursorAtPixel(Point pixel);
  // The view pixel of a page point of the active document.
  std::optional<Point> PixelOf(int pageIndex, Point point);

  // Panes by name.
  bool ShowPane(std::u16string_view name, bool visible = true);
  // Shows the pane and sends WM_SETFOCUS to its control's window.
  bool FocusPane(std::u16string_view name);
  // Presses a button of the toolbar in the pane's control (WM_COMMAND to the control when it has no such
  // toolbar button). False when the pane does not exist or the button is disabled.
  bool PressPaneButton(std::u16string_view name, int commandId);
  // Selects a row of the list in the pane's control and double-clicks it.
  bool DoubleClickRow(std::u16string_view name, int row);
  // The pane control's window, or null.
  ui::Window* PaneWindow(std::u16string_view name);

 private:
  PointerResult Pointer(com::DISPID id, com::ULONGLONG w, Point pixel);
  bool ClickIn(const CommandBarObject& bar, com::LONG id, std::u16string_view caption, bool byCaption);

  QuoralPDF host_;
  int hostContextMenus_ = 0;
};

// View events' W: the mouse buttons down.
inline constexpr com::ULONGLONG kMouseLeftButton = 0x1;
inline constexpr com::ULONGLONG kMouseRightButton = 0x2;

}  // namespace sealrun::platform::host
