#pragma once
// Small walks through the host's object model that several handlers make. Each answers null (or a failure)
// when the host is not connected or a step answers no object.
#include <string>
#include <string_view>

#include "external/HostViewer.h"
#include "platform/com/ComPtr.h"

namespace sealrun::workbench {

namespace host = sealrun::external;
using platform::com::ComPtr;
using platform::com::HRESULT;

// The connected host's application object.
ComPtr<host::IHostApplication> HostApplication();
ComPtr<host::IHostDocument> ActiveDocument();
ComPtr<host::IHostPageView> PageViewOf(host::IHostDocument* document);
// The pane of that name, or null.
ComPtr<host::IHostPane> FindPane(std::u16string_view name);
// The pane of that name, added (with the control's ProgID) when the host has none.
ComPtr<host::IHostPane> FindOrAddPane(std::u16string_view name, std::u16string_view caption);
// Asks the host to open a document (the opened document is released at once).
HRESULT OpenDocumentInHost(std::u16string_view path);
// A custom property of an annotation ("" when never set).
std::u16string CustomProperty(host::IHostAnnotation* annotation, std::u16string_view name);

}  // namespace sealrun::workbench
