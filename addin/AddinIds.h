#pragma once
// The identities the module registers and the host's identities the add-in talks to.
#include "platform/com/Guid.h"
#include "workbench/PaneIds.h"

namespace sealrun::addin {

using platform::com::GUID;
using workbench::kBatchPaneClsid;
using workbench::kBatchPaneEventsIid;
using workbench::kBatchPaneIndependentProgId;
using workbench::kBatchPaneMiscStatus;
using workbench::kBatchPaneProgId;
using workbench::kIQPXBatchPaneIid;

inline constexpr GUID kTypeLibraryId{0x15C5E40C, 0x7602, 0x4625, {0x95, 0x48, 0x41, 0xB4, 0x66, 0xCA, 0xD2, 0x65}};
inline constexpr GUID kSealrunPdfClsid{0x779BBB88, 0x7E53, 0x48D3, {0xA2, 0x46, 0xB8, 0x61, 0xEA, 0xDC, 0x7F, 0x93}};
inline constexpr GUID kICSealrunPdfIid{0x9CF6D3F4, 0x7838, 0x47E9, {0x9F, 0x05, 0x1F, 0xE5, 0x3C, 0x05, 0xA3, 0x04}};
inline constexpr GUID kSealrunPdfEventsIid{
    0xF2272251, 0x9650, 0x4CDD, {0x8D, 0x29, 0x93, 0x03, 0x06, 0x92, 0xD1, 0x72}};

inline constexpr char16_t kSealrunPdfProgId[] = u"Velmarch.SealrunPDF.1";
inline constexpr char16_t kSealrunPdfIndependentProgId[] = u"Velmarch.SealrunPDF";
inline constexpr char16_t kModuleFileName[] = u"Velmarch.SealrunPDF.qpi";


}  // namespace sealrun::addin
