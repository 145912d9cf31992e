#pragma once
// The object model of the host reader QuoralPDF as the add-in sees it: dual interfaces reached from the
// application object that the host hands to QPXExtensibility::OnConnection. Every method sits in a fixed
// slot after IDispatch's seven, returns an HRESULT and gives its answers through out parameters; objects
// come back AddRef'd (the caller releases them), BSTRs come back owned by the caller. A missing object is
// answered with S_FALSE (or S_OK) and a null pointer, never with a failure the caller must tell apart.
// Objects kept after the host shut down (or after their document closed) answer E_UNEXPECTED.
// The IDispatch half of each interface answers the members reached by a dispatch id given below
// (kDispidDocumentInteraction); member names are not published, so by-name calls find nothing.
//
// Coordinates
// - View pixels: the page view's client area, origin at its top-left corner, y downward. The host events
//   carry the pointer in view pixels (see HostEventX / HostEventY).
// - The host's page frame: the page as it is displayed, i.e. its CropBox (falling back to the MediaBox)
//   with the page's /Rotate applied; origin at the displayed top-left corner, x to the right, y downward,
//   in points (1/72 inch). Page Width/Height are the displayed sizes (swapped for /Rotate 90 and 270).
//   PointToPage answers in this frame; annotation Left/Top/Width/Height and SetRect use it too.
// - Rotations are in degrees, clockwise as shown on screen: a page's /Rotate, the view's rotation.
#include <cstdint>

#include "platform/com/ConnectionInterfaces.h"
#include "platform/com/Interfaces.h"

namespace sealrun::external {

namespace com = sealrun::platform::com;

// A window of the window system (the value of platform::ui::WindowHandle; 0 is no window).
using HostWindowHandle = uint32_t;

// ---- Fixed values ---------------------------------------------------------------------------------
// The host's event interface: a dispinterface, so sinks are IDispatch objects answering this DIID.
inline constexpr com::IID DIID_HostEvents{
    0x8F4E2261, 0xE9E7, 0x4089, {0x82, 0x2F, 0xDC, 0x2C, 0xED, 0x0E, 0x98, 0x47}};

// Dispatch ids of the host events.
// 1 command: (UI4 0, UI4 command id) when a command bar control or popup item is clicked.
// 2 mouse, 3 click, 5 context request, 7 cursor request: (view IDispatch, UI8 W, UI8 L,
//   VT_BYREF|VT_BOOL handled). A non-zero handled stops the host's own reaction to 3, 5 and 7.
inline constexpr com::DISPID kHostEventCommand = 1;
inline constexpr com::DISPID kHostEventMouse = 2;
inline constexpr com::DISPID kHostEventClick = 3;
inline constexpr com::DISPID kHostEventContext = 5;
inline constexpr com::DISPID kHostEventSetCursor = 7;

// L of a view event: x in the signed low 16 bits, y in the signed next 16 bits (view pixels).
constexpr com::ULONGLONG MakeHostEventL(int x, int y) {
  return static_cast<com::ULONGLONG>(static_cast<uint16_t>(static_cast<int16_t>(x))) |
         (static_cast<com::ULONGLONG>(static_cast<uint16_t>(static_cast<int16_t>(y))) << 16);
}
constexpr int HostEventX(com::ULONGLONG l) { return static_cast<int16_t>(l & 0xFFFF); }
constexpr int HostEventY(com::ULONGLONG l) { return static_cast<int16_t>((l >> 16) & 0xFFFF); }

// Document.Interaction is also readable through IDispatch::Invoke (property get, no arguments).
inline constexpr com::DISPID kDispidDocumentInteraction = 34;
// Annotations.Add: an image annotation.
inline constexpr com::LONG kHostAnnotationImage = 12;
// CommandBars.Add type: a popup (a missing type makes a toolbar).
inline constexpr com::LONG kHostCommandBarPopup = 2;
// Panes.Add placement: docked at the right.
inline constexpr com::LONG kHostPanePlacementRight = 2;
// Control.Style: image and caption.
inline constexpr com::LONG kHostControlStyleImageAndCaption = 2;
// The language identifier answered when the host's settings name none (Simplified Chinese).
inline constexpr com::LONG kHostDefaultLanguageId = 2052;

// ---- Interface identifiers ------------------------------------------------------------------------
inline constexpr com::IID IID_QPXExtensibility{
    0xDEB5E9FC, 0x5FA7, 0x4632, {0x85, 0xBF, 0xE2, 0xBA, 0x29, 0xB2, 0x00, 0x3F}};
inline constexpr com::IID IID_IHostControl{
    0x15496DEE, 0xCC19, 0x46FA, {0xB7, 0x57, 0x52, 0xF5, 0x3E, 0x9C, 0xC3, 0xE9}};
inline constexpr com::IID IID_IHostApplication{
    0xD11A28BF, 0x86AC, 0x4ED5, {0x87, 0xEE, 0xD0, 0x20, 0x9D, 0x8B, 0xAF, 0xC2}};
inline constexpr com::IID IID_IHostDocuments{
    0xF6794653, 0xA258, 0x4372, {0x9A, 0x17, 0xFD, 0x08, 0xE9, 0x18, 0xE1, 0xD0}};
inline constexpr com::IID IID_IHostDocument{
    0xE6DBD4C5, 0x0398, 0x4891, {0x80, 0xA8, 0x61, 0x86, 0x65, 0x8E, 0xA1, 0xA2}};
inline constexpr com::IID IID_IHostView{
    0xB6E2A378, 0x2BA0, 0x4D00, {0xB3, 0x63, 0xB2, 0x0C, 0x7A, 0x95, 0x9F, 0x0F}};
inline constexpr com::IID IID_IHostPageView{
    0x6D1A7C0E, 0xD305, 0x4AB4, {0xB7, 0xAF, 0x33, 0xBC, 0x6F, 0x04, 0xC9, 0x46}};
inline constexpr com::IID IID_IHostPages{
    0x58326143, 0xADAF, 0x4D91, {0x81, 0x86, 0xB4, 0xCA, 0x8D, 0x2E, 0x1D, 0x5B}};
inline constexpr com::IID IID_IHostPage{
    0xFCF34D6E, 0xF354, 0x49CB, {0x87, 0x2A, 0x23, 0xC3, 0x08, 0xCF, 0x0F, 0x3A}};
inline constexpr com::IID IID_IHostAnnotations{
    0x363877F3, 0x6ACA, 0x4B24, {0xBF, 0x57, 0xF7, 0x4C, 0x85, 0x7A, 0xC3, 0xB3}};
inline constexpr com::IID IID_IHostAnnotation{
    0x98192095, 0xA7D7, 0x4533, {0x84, 0x68, 0x15, 0x64, 0x33, 0x0B, 0xAE, 0x08}};
inline constexpr com::IID IID_IHostCommandBars{
    0xADAD0EF6, 0xA327, 0x4724, {0x8B, 0x59, 0x50, 0xE3, 0xC3, 0xF2, 0xE8, 0x1D}};
inline constexpr com::IID IID_IHostCommandBar{
    0xE4B5FE6B, 0x77BE, 0x4F0F, {0x9B, 0x8A, 0x21, 0x60, 0x06, 0x1E, 0x3C, 0xA4}};
inline constexpr com::IID IID_IHostControls{
    0x9E2621DD, 0x6000, 0x419C, {0x9D, 0x3C, 0xB2, 0xAE, 0xDA, 0x1B, 0xAA, 0xCF}};
inline constexpr com::IID IID_IHostImageService{
    0xEA256954, 0x7184, 0x4D95, {0x8B, 0x08, 0x6B, 0x42, 0x3E, 0xC4, 0xCB, 0x60}};
inline constexpr com::IID IID_IHostPanes{
    0x0AD36F95, 0xEACE, 0x4424, {0xA2, 0x9B, 0x23, 0x4F, 0xFD, 0xD2, 0x50, 0xB1}};
inline constexpr com::IID IID_IHostPane{
    0x269AD387, 0xF8FF, 0x40C2, {0x93, 0x9D, 0x25, 0xBA, 0x33, 0x29, 0x01, 0x5F}};
inline constexpr com::IID IID_IHostedControl{
    0x18D6788A, 0x1F29, 0x461D, {0x98, 0xD8, 0xE3, 0x11, 0x2E, 0xA7, 0x6C, 0xFC}};

class IHostDocuments;
class IHostDocument;
class IHostView;
class IHostPageView;
class IHostPages;
class IHostPage;
class IHostAnnotations;
class IHostAnnotation;
class IHostCommandBars;
class IHostCommandBar;
class IHostControls;
class IHostControl;
class IHostImageService;
class IHostPanes;
class IHostPane;

// The application object. Its event source (DIID_HostEvents) is reached by QueryInterface for
// IConnectionPointContainer and FindConnectionPoint.
class IHostApplication : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = IID_IHostApplication;

  virtual com::HRESULT get_Documents(IHostDocuments** documents) = 0;
  virtual com::HRESULT get_CommandBars(IHostCommandBars** bars) = 0;
  virtual com::HRESULT get_ImageService(IHostImageService** service) = 0;
  virtual com::HRESULT get_Panes(IHostPanes** panes) = 0;
  // The user-interface language (a Windows language identifier, 2052 unless the settings say otherwise).
  virtual com::HRESULT get_LanguageId(com::LONG* languageId) = 0;

 protected:
  ~IHostApplication() = default;
};

class IHostDocuments : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = IID_IHostDocuments;

  // Opens a PDF file (path as VT_BSTR; the three optional arguments are passed missing) and makes it the
  // active document. A file that is already open is activated instead of opened twice. A path that does
  // not open gives a failure and a null document.
  virtual com::HRESULT Open(com::VARIANT path, com::VARIANT option1, com::VARIANT option2, com::VARIANT option3,
                            IHostDocument** document) = 0;
  // Null (S_FALSE) when no document is open.
  virtual com::HRESULT get_ActiveDocument(IHostDocument** document) = 0;
  virtual com::HRESULT get_Count(com::LONG* count) = 0;

 protected:
  ~IHostDocuments() = default;
};

class IHostDocument : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = IID_IHostDocument;

  virtual com::HRESULT get_Pages(IHostPages** pages) = 0;
  virtual com::HRESULT get_View(IHostView** view) = 0;
  // 0 when the user is not in the middle of an interactive tool (the popup may be shown). Also read
  // through IDispatch::Invoke with kDispidDocumentInteraction.
  virtual com::HRESULT get_Interaction(com::LONG* value) = 0;
  // Appends the changes as an incremental update to the file the document was opened from.
  virtual com::HRESULT Save() = 0;
  virtual com::HRESULT get_FullName(com::BSTR* path) = 0;

 protected:
  ~IHostDocument() = default;
};

class IHostView : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = IID_IHostView;

  virtual com::HRESULT get_PageView(IHostPageView** pageView) = 0;

 protected:
  ~IHostView() = default;
};

class IHostPageView : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = IID_IHostPageView;

  // View pixels (x, y) in, the point in the host's page frame out, with the zero-based page index.
  // A point on no page leaves x and y unchanged and pageIndex at the caller's preset (-1); S_FALSE.
  virtual com::HRESULT PointToPage(double* x, double* y, com::LONG* pageIndex) = 0;
  // The topmost page object under the view pixel (an annotation, a link...), or null (S_FALSE).
  virtual com::HRESULT ObjectAt(double x, double y, com::IDispatch** object) = 0;
  // The topmost annotation under the view pixel, or null (S_FALSE).
  virtual com::HRESULT AnnotationAt(double x, double y, IHostAnnotation** annotation) = 0;
  virtual com::HRESULT Redraw() = 0;
  // The view's own rotation (0, 90, 180, 270), on top of each page's /Rotate.
  virtual com::HRESULT get_Rotation(com::LONG* degrees) = 0;

 protected:
  ~IHostPageView() = default;
};

class IHostPages : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = IID_IHostPages;

  // Zero-based; null (S_FALSE) for an index out of range.
  virtual com::HRESULT Item(com::LONG index, IHostPage** page) = 0;
  virtual com::HRESULT get_Count(com::LONG* count) = 0;

 protected:
  ~IHostPages() = default;
};

class IHostPage : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = IID_IHostPage;

  virtual com::HRESULT get_Annotations(IHostAnnotations** annotations) = 0;
  // Displayed size in points (the host frame).
  virtual com::HRESULT get_Width(double* width) = 0;
  virtual com::HRESULT get_Height(double* height) = 0;
  // The page's /Rotate: 0, 90, 180 or 270.
  virtual com::HRESULT get_Rotation(com::LONG* degrees) = 0;
  virtual com::HRESULT get_Index(com::LONG* index) = 0;

 protected:
  ~IHostPage() = default;
};

class IHostAnnotations : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = IID_IHostAnnotations;

  // Zero-based, in the page's /Annots order; null (S_FALSE) out of range.
  virtual com::HRESULT Item(com::LONG index, IHostAnnotation** annotation) = 0;
  virtual com::HRESULT get_Count(com::LONG* count) = 0;
  // kHostAnnotationImage only (E_INVALIDARG otherwise): a new image annotation with an empty rectangle.
  virtual com::HRESULT Add(com::LONG type, IHostAnnotation** annotation) = 0;

 protected:
  ~IHostAnnotations() = default;
};

class IHostAnnotation : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = IID_IHostAnnotation;

  // The /Subtype ("Stamp", "Widget", "Brasmoor:AddSeal"...).
  virtual com::HRESULT get_TypeName(com::BSTR* name) = 0;
  // The /NM entry ("" when there is none).
  virtual com::HRESULT get_Name(com::BSTR* name) = 0;
  virtual com::HRESULT put_Name(com::BSTR name) = 0;
  // The rectangle in the host's page frame.
  virtual com::HRESULT get_Left(double* value) = 0;
  virtual com::HRESULT get_Top(double* value) = 0;
  virtual com::HRESULT get_Width(double* value) = 0;
  virtual com::HRESULT get_Height(double* value) = 0;
  // Two corners in the host's page frame, in any order.
  virtual com::HRESULT SetRect(double x1, double y1, double x2, double y2) = 0;
  // Decodes the picture (PNG, JPEG, GIF, BMP; path as VT_BSTR) and makes it the appearance, filling the
  // rectangle. result: 1 when set, 0 when the file did not decode (then the call fails).
  virtual com::HRESULT SetImageFile(com::VARIANT path, com::LONG* result) = 0;
  virtual com::HRESULT put_BlendMode(com::BSTR mode) = 0;
  // Rebuilds the appearance after the rectangle, rotation or blend mode changed.
  virtual com::HRESULT UpdateAppearance() = 0;
  // Degrees as image stamps take them: a rotation equal to the page's /Rotate shows the picture upright
  // on screen, each further 90 turns it a quarter counter-clockwise; 360 means 0 (read back as 0).
  virtual com::HRESULT put_Rotation(com::LONG degrees) = 0;
  virtual com::HRESULT get_Rotation(com::LONG* degrees) = 0;
  // Named texts stored in the annotation itself, so they survive saving and reopening.
  virtual com::HRESULT SetCustomProperty(com::BSTR name, com::BSTR value) = 0;
  // A property never set answers S_FALSE and an empty (null) BSTR.
  virtual com::HRESULT GetCustomProperty(com::BSTR name, com::BSTR* value) = 0;
  // Makes it the document's current annotation. value is not used (set to 0).
  virtual com::HRESULT Select(com::LONG* value) = 0;
  // Removes it from its page; the object answers E_UNEXPECTED afterwards.
  virtual com::HRESULT Delete() = 0;

 protected:
  ~IHostAnnotation() = default;
};

class IHostCommandBars : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = IID_IHostCommandBars;

  // By name (VT_BSTR); null (S_FALSE) when there is no such bar.
  virtual com::HRESULT Item(com::VARIANT name, IHostCommandBar** bar) = 0;
  // type missing: a toolbar; VT_I4 kHostCommandBarPopup: a popup. Names need not be unique: a new bar is
  // always made, and Item answers the first of a name.
  virtual com::HRESULT Add(com::BSTR name, com::VARIANT type, IHostCommandBar** bar) = 0;

 protected:
  ~IHostCommandBars() = default;
};

class IHostCommandBar : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = IID_IHostCommandBar;

  virtual com::HRESULT get_Controls(IHostControls** controls) = 0;
  // Called once the controls are added: the bar is laid out and shown, and its controls can be clicked.
  virtual com::HRESULT Finish() = 0;
  // Shows a popup bar at view pixels (x, y as numbers); both missing: at the pointer. Returns at once; the
  // user's choice (if any) arrives later as a command event. Only popup bars show (E_FAIL otherwise).
  virtual com::HRESULT ShowPopup(com::VARIANT x, com::VARIANT y) = 0;
  virtual com::HRESULT get_Name(com::BSTR* name) = 0;

 protected:
  ~IHostCommandBar() = default;
};

class IHostControls : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = IID_IHostControls;

  // A new button at the end (the three arguments are passed missing); query it for IHostControl.
  virtual com::HRESULT Add(com::VARIANT type, com::VARIANT id, com::VARIANT before, com::IDispatch** control) = 0;
  virtual com::HRESULT get_Count(com::LONG* count) = 0;

 protected:
  ~IHostControls() = default;
};

class IHostControl : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = IID_IHostControl;

  // Unique within the host while it runs; the command id of event 1 when the control is clicked.
  virtual com::HRESULT get_Id(com::LONG* id) = 0;
  virtual com::HRESULT put_Caption(com::BSTR caption) = 0;
  virtual com::HRESULT get_Caption(com::BSTR* caption) = 0;
  virtual com::HRESULT put_TooltipText(com::BSTR text) = 0;
  virtual com::HRESULT put_Style(com::LONG style) = 0;
  // An image registered with the image service (or any number the add-in chooses).
  virtual com::HRESULT put_Image(com::LONG image) = 0;

 protected:
  ~IHostControl() = default;
};

class IHostImageService : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = IID_IHostImageService;

  // bitmap: VT_BYREF|VT_UI1 whose pointer carries the bitmap (on this system a platform::imaging::Image*,
  // copied by the call). Answers a non-zero image number for Control.Image; E_INVALIDARG for anything else.
  virtual com::HRESULT Register(com::VARIANT bitmap, com::LONG commandId, com::LONG* image) = 0;

 protected:
  ~IHostImageService() = default;
};

class IHostPanes : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = IID_IHostPanes;

  // By name (VT_BSTR); null (S_FALSE) when there is none.
  virtual com::HRESULT Item(com::VARIANT name, IHostPane** pane) = 0;
  // Creates the pane, hidden, with an instance of the control registered under progId (which gives the
  // pane its window through IHostedControl). A name already in use answers the existing pane. An unknown
  // ProgID fails with CO_E_CLASSSTRING, a class that is no pane control with E_NOINTERFACE; no pane is made.
  virtual com::HRESULT Add(com::BSTR name, com::BSTR caption, com::BSTR progId, com::LONG placement,
                           IHostPane** pane) = 0;

 protected:
  ~IHostPanes() = default;
};

class IHostPane : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = IID_IHostPane;

  virtual com::HRESULT get_Visible(com::VARIANT_BOOL* visible) = 0;
  // Any non-zero value shows the pane.
  virtual com::HRESULT put_Visible(com::VARIANT_BOOL visible) = 0;
  virtual com::HRESULT put_Caption(com::BSTR caption) = 0;
  virtual com::HRESULT get_Caption(com::BSTR* caption) = 0;

 protected:
  ~IHostPane() = default;
};

// The host's add-in interface: what an add-in object answers so that the host can connect it.
class QPXExtensibility : public com::IDispatch {
 public:
  using Base = com::IDispatch;
  static constexpr com::IID kIid = IID_QPXExtensibility;

  // application answers IHostApplication.
  virtual com::HRESULT OnConnection(com::IDispatch* application) = 0;
  virtual com::HRESULT OnDisconnection() = 0;
  // Notifications the host makes but does not rely on; an add-in may answer E_NOTIMPL.
  virtual com::HRESULT OnAddInsUpdate() = 0;
  virtual com::HRESULT OnStartupComplete(com::VARIANT* custom) = 0;
  virtual com::HRESULT OnBeginShutdown(com::VARIANT* custom) = 0;

 protected:
  ~QPXExtensibility() = default;
};

// What a pane control answers so that the host can place its window in a pane.
class IHostedControl : public com::IUnknown {
 public:
  using Base = com::IUnknown;
  static constexpr com::IID kIid = IID_IHostedControl;

  // The control creates its window as a child of `parent` (through platform::ui, so the parent window owns
  // it) and answers its handle. The control reaches its window by handle from then on: once the host
  // destroys the pane, the handle no longer resolves. A second call answers the same window.
  virtual com::HRESULT CreateControlWindow(HostWindowHandle parent, HostWindowHandle* window) = 0;

 protected:
  ~IHostedControl() = default;
};

}  // namespace sealrun::external
