#pragma once
// The test add-in module: an add-in that builds a toolbar, a popup and a pane in the host and records the
// host events it gets, and the pane control it places. Tests reach the records through the two interfaces
// below (same process, same toolchain).
#include <string>
#include <vector>

#include "external/HostViewer.h"

namespace sealrun::platform::host::testaddin {

namespace com = sealrun::platform::com;

inline constexpr com::CLSID kAddInClsid{0x3B0E3F61, 0x58A4, 0x4C3E, {0x9F, 0x0B, 0x6E, 0x27, 0x11, 0xC8, 0x4D, 0x90}};
inline constexpr com::CLSID kPaneClsid{0x7C2A9E14, 0x0D55, 0x4B8F, {0xA1, 0x3C, 0x52, 0xE0, 0x9B, 0x77, 0x2F, 0x06}};
inline constexpr com::IID IID_ITestAddInRecord{
    0x1E6B4A20, 0x93D7, 0x4F41, {0xB2, 0x58, 0x0C, 0x4E, 0x7A, 0x31, 0xD6, 0x8B}};
inline constexpr com::IID IID_ITestPaneRecord{
    0x5A8D0C73, 0x2F16, 0x4E9A, {0x8E, 0x44, 0xB9, 0x05, 0x6D, 0x12, 0xC3, 0x7E}};

inline constexpr char16_t kAddInProgId[] = u"Sealrun.TestHostAddIn.1";
inline constexpr char16_t kPaneProgId[] = u"Sealrun.TestHostPane.1";
inline constexpr char16_t kToolbarName[] = u"TestBar";
inline constexpr char16_t kPopupName[] = u"TestPopup";
inline constexpr char16_t kPaneName[] = u"TestPane";
// Toolbar button captions, and the popup item's.
inline constexpr char16_t kFirstButton[] = u"First";
inline constexpr char16_t kSecondButton[] = u"Second";
inline constexpr char16_t kPopupItem[] = u"Stamp here";
// The pane's toolbar buttons and its list's control id.
inline constexpr int kPaneAddButton = 32773;
inline constexpr int kPaneRunButton = 32775;
inline constexpr int kPaneListId = 0xE801;

// One event as the sink received it: the argument types in natural order and their values.
struct RecordedEvent {
  com::DISPID id = 0;
  std::vector<com::VARTYPE> types;
  com::ULONG first = 0;     // event 1
  com::ULONG commandId = 0; // event 1
  bool viewIsPageView = false;
  com::ULONGLONG w = 0;
  com::ULONGLONG l = 0;
  // View events: the point PointToPage answered for (x, y) of L, with its page (-1 for none).
  double pageX = 0;
  double pageY = 0;
  com::LONG pageIndex = -1;
};

class ITestAddInRecord : public com::IUnknown {
 public:
  using Base = com::IUnknown;
  static constexpr com::IID kIid = IID_ITestAddInRecord;

  virtual const std::vector<RecordedEvent>& Events() = 0;
  virtual int Connections() = 0;
  virtual int Disconnections() = 0;
  // Ids the host gave the toolbar buttons and the popup item.
  virtual std::vector<com::LONG> ControlIds() = 0;
  virtual com::LONG PopupItemId() = 0;
  // What the sink sets handled to for a view event (default: leaves it).
  virtual void SetHandledAnswer(com::DISPID id, com::VARIANT_BOOL value) = 0;
  // When set, a context request (event 5) shows the popup at the pointer.
  virtual void SetShowPopupOnContext(bool value) = 0;
  // The language id read at connection, and the image number the image service answered.
  virtual com::LONG LanguageId() = 0;
  virtual com::LONG RegisteredImage() = 0;

 protected:
  ~ITestAddInRecord() = default;
};

class ITestPaneRecord : public com::IUnknown {
 public:
  using Base = com::IUnknown;
  static constexpr com::IID kIid = IID_ITestPaneRecord;

  virtual int FocusCount() = 0;
  virtual const std::vector<int>& Commands() = 0;
  // Rows that were double-clicked (their first column).
  virtual const std::vector<std::u16string>& OpenedRows() = 0;
  virtual int SizeCount() = 0;

 protected:
  ~ITestPaneRecord() = default;
};

}  // namespace sealrun::platform::host::testaddin
