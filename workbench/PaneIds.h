#pragma once
// The identities of the batch pane control, which the module registers and the host creates by ProgID.
#include "platform/com/Guid.h"

namespace sealrun::workbench {

using platform::com::GUID;

inline constexpr GUID kBatchPaneClsid{0x74D465B4, 0xE6CB, 0x4EA0, {0x90, 0x60, 0x8C, 0xAF, 0x1E, 0xE6, 0x91, 0x22}};
inline constexpr GUID kIQPXBatchPaneIid{0xF1BF70BB, 0xFCF1, 0x486D, {0xB7, 0x5A, 0x4C, 0xA7, 0xCC, 0x6E, 0x14, 0xA5}};
inline constexpr GUID kBatchPaneEventsIid{0x2D246D89, 0xED38, 0x4588, {0xBC, 0x43, 0x2F, 0x3E, 0x0B, 0xB8, 0x66, 0xA4}};
inline constexpr char16_t kBatchPaneProgId[] = u"Sealrun.Pane.1";
inline constexpr char16_t kBatchPaneIndependentProgId[] = u"Sealrun.Pane";
// The pane's OLEMISC flags: recompose on resize, can't link, inside out, activate when visible,
// set client site first.
inline constexpr unsigned kBatchPaneMiscStatus = 0x20000 | 0x80 | 0x10 | 0x100 | 0x1;

}  // namespace sealrun::workbench
