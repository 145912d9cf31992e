#include "addin/ModuleRegistration.h"

#include "addin/AddinIds.h"
#include "platform/com/RegKey.h"
#include "platform/text/Utf.h"

namespace sealrun::addin {

using namespace platform::com;

ServerRegistration AddinServerRegistration(const std::u16string& modulePath) {
  ServerRegistration server;
  server.clsid = kSealrunPdfClsid;
  server.description = u"CSealrunPDF Class";
  server.modulePath = modulePath;
  server.progId = kSealrunPdfProgId;
  server.versionIndependentProgId = kSealrunPdfIndependentProgId;
  server.programmable = true;
  return server;
}

ServerRegistration PaneServerRegistration(const std::u16string& modulePath) {
  ServerRegistration server;
  server.clsid = kBatchPaneClsid;
  server.description = u"QPXBatchPane Class";
  server.modulePath = modulePath;
  server.progId = kBatchPaneProgId;
  server.versionIndependentProgId = kBatchPaneIndependentProgId;
  server.programmable = true;
  server.control = true;
  return server;
}

TypeLibraryRegistration AddinTypeLibrary(const std::u16string& modulePath) {
  TypeLibraryRegistration library;
  library.libid = kTypeLibraryId;
  library.version = u"1.0";
  library.name = u"SealrunPDFLib";
  library.path = modulePath;
  library.interfaces = {{kICSealrunPdfIid, u"ICSealrunPDF"},
                        {kSealrunPdfEventsIid, u"_ICSealrunPDFEvents"},
                        {kIQPXBatchPaneIid, u"IQPXBatchPane"},
                        {kBatchPaneEventsIid, u"_IQPXBatchPaneEvents"}};
  return library;
}

namespace {

// The keys a container reads before it shows the control in a toolbox or creates it.
HRESULT RegisterControlKeys(const std::u16string& modulePath, RegistrationScope scope) {
  RegKey root;
  if (OpenClassesRoot(scope, true, root) != ERROR_SUCCESS) return SELFREG_E_CLASS;
  const std::u16string clsidKey = u"CLSID\\" + FormatGuid(kBatchPaneClsid);
  RegKey toolbox;
  if (toolbox.Create(root.Get(), clsidKey + u"\\ToolboxBitmap32") != ERROR_SUCCESS ||
      toolbox.SetString({}, modulePath + u", 108") != ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  RegKey misc;
  if (misc.Create(root.Get(), clsidKey + u"\\MiscStatus") != ERROR_SUCCESS || misc.SetString({}, u"0") != ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  RegKey aspect;
  if (aspect.Create(misc.Get(), u"1") != ERROR_SUCCESS ||
      aspect.SetString({}, platform::text::Widen(std::to_string(kBatchPaneMiscStatus))) != ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  return S_OK;
}

}  // namespace

HRESULT RegisterModule(const std::u16string& modulePath, RegistrationScope scope) {
  HRESULT hr = RegisterServer(AddinServerRegistration(modulePath), scope);
  if (SUCCEEDED(hr)) hr = RegisterServer(PaneServerRegistration(modulePath), scope);
  if (SUCCEEDED(hr)) hr = RegisterControlKeys(modulePath, scope);
  if (SUCCEEDED(hr)) hr = RegisterTypeLibrary(AddinTypeLibrary(modulePath), scope);
  if (FAILED(hr)) UnregisterModule(modulePath, scope);
  return hr;
}

HRESULT UnregisterModule(const std::u16string& modulePath, RegistrationScope scope) {
  const HRESULT library = UnregisterTypeLibrary(AddinTypeLibrary(modulePath), scope);
  const HRESULT pane = UnregisterServer(PaneServerRegistration(modulePath), scope);
  const HRESULT addin = UnregisterServer(AddinServerRegistration(modulePath), scope);
  if (FAILED(addin)) return addin;
  if (FAILED(pane)) return pane;
  return library;
}

}  // namespace sealrun::addin
