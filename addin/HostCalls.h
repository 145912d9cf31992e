#pragma once
// The host walks the add-in shares with the pane.
#include "workbench/HostCalls.h"

namespace sealrun::addin {

namespace host = sealrun::external;
using platform::com::ComPtr;
using platform::com::HRESULT;
using workbench::ActiveDocument;
using workbench::CustomProperty;
using workbench::FindOrAddPane;
using workbench::FindPane;
using workbench::HostApplication;
using workbench::OpenDocumentInHost;
using workbench::PageViewOf;

}  // namespace sealrun::addin
