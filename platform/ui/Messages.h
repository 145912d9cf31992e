#pragma once
// Window message numbers, notification codes, styles and results with their Windows values, so code
// written against the window system reads the same here.
#include <cstdint>

namespace sealrun::platform::ui {

using WParam = uint64_t;
using LParam = int64_t;
using LResult = int64_t;

// Messages.
inline constexpr uint32_t kWmCreate = 0x0001;
inline constexpr uint32_t kWmDestroy = 0x0002;
inline constexpr uint32_t kWmSize = 0x0005;
inline constexpr uint32_t kWmSetFocus = 0x0007;
inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmNotify = 0x004E;
inline constexpr uint32_t kWmInitDialog = 0x0110;
inline constexpr uint32_t kWmCommand = 0x0111;
inline constexpr uint32_t kWmTimer = 0x0113;
inline constexpr uint32_t kWmUser = 0x0400;

// Notification codes.
inline constexpr int kBnClicked = 0;
inline constexpr int kCbnSelChange = 1;
inline constexpr int kEnChange = 0x0300;
inline constexpr int kNmDblClk = -3;

// List-view item states.
inline constexpr uint32_t kLvisFocused = 0x1;
inline constexpr uint32_t kLvisSelected = 0x2;
inline constexpr uint32_t kLvisCut = 0x4;
inline constexpr uint32_t kLvisDropHilited = 0x8;

// Message box styles and answers.
inline constexpr uint32_t kMbOk = 0x0;
inline constexpr uint32_t kMbOkCancel = 0x1;
inline constexpr uint32_t kMbYesNo = 0x4;
inline constexpr uint32_t kMbIconError = 0x10;
inline constexpr uint32_t kMbIconQuestion = 0x20;
inline constexpr uint32_t kMbIconWarning = 0x30;
inline constexpr uint32_t kMbIconInformation = 0x40;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// WM_COMMAND's first parameter: the control id in the low word, the notification code in the high word.
constexpr WParam MakeCommandParam(int id, int code) {
  return (static_cast<WParam>(static_cast<uint16_t>(code)) << 16) | static_cast<uint16_t>(id);
}
constexpr int CommandId(WParam value) { return static_cast<int>(value & 0xFFFF); }
constexpr int CommandCode(WParam value) { return static_cast<int16_t>((value >> 16) & 0xFFFF); }

}  // namespace sealrun::platform::ui
