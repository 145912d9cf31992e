#include "addin/SealrunPdf.h"

#include "addin/AddinState.h"
#include "addin/HostCalls.h"
#include "addin/Resources.h"
#include "config/ConfigFiles.h"
#include "config/ConfigPaths.h"
#include "config/ConnectionSettings.h"
#include "config/ProductSettings.h"
#include "external/qp.h"
#include "platform/com/Guard.h"
#include "platform/com/Variant.h"
#include "platform/fs/Files.h"
#include "platform/fs/Paths.h"
#include "platform/imaging/ImageCodec.h"
#include "platform/ui/Backend.h"
#include "verify/PdfNames.h"

namespace sealrun::addin {

using namespace platform::com;
namespace ui = platform::ui;

namespace {

constexpr char16_t kPaneName[] = u"Sealrun";
constexpr char16_t kCommandBarName[] = u"批量签章";
constexpr char16_t kPopupName[] = u"VEZPopup";
constexpr char16_t kSignCaption[] = u"批量签章";
constexpr char16_t kVerifyCaption[] = u"签章验证";
constexpr char16_t kRemoveCaption[] = u"批量撤章";
constexpr LCID kInteractionLocale = 0x800;

// The seal picture for the pre-stamp: the chosen file, or the module's default seal.
std::optional<platform::imaging::Image> LoadSealImage(std::u16string& path) {
  if (!path.empty()) {
    const auto bytes = platform::fs::ReadFile(platform::fs::PathFromUtf16(path));
    std::optional<platform::imaging::Image> image;
    if (bytes) image = platform::imaging::DecodeImage(std::span<const uint8_t>(
                           reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()));
    if (image) return image;
    path.clear();  // until the next connection; the settings file keeps its value
  }
  return LoadImageResource(kDefaultSealBitmap);
}


}  // namespace

CSealrunPDF::CSealrunPDF() : events_(this, kSealrunPdfEventsIid), sink_(static_cast<ICSealrunPDF*>(this), this) {
  AddinState& state = State();
  state.pageSetting = kPageSettingUnset;
  state.signatureMode = config::SignatureMode(workbench::kSignatureModeBeforeConnection);
  if (state.paneMode == PaneMode::Verify) state.paneMode = PaneMode::Sign;
  state.publicSettings.digitalSignOnline = false;
}

CSealrunPDF::~CSealrunPDF() = default;

const DispatchTable<CSealrunPDF>& CSealrunPDF::DispatchMembers() {
  static const DispatchTable<CSealrunPDF> table{{
      {.name = u"SigText", .id = 1, .get = &CSealrunPDF::DispGetSigText, .put = &CSealrunPDF::DispPutSigText},
      {.name = u"SigPage", .id = 2, .get = &CSealrunPDF::DispGetSigPage, .put = &CSealrunPDF::DispPutSigPage},
      {.name = u"SigFiles", .id = 3, .get = &CSealrunPDF::DispGetSigFiles, .put = &CSealrunPDF::DispPutSigFiles},
      {.name = u"IsAddDate", .id = 4, .get = &CSealrunPDF::DispGetIsAddDate, .put = &CSealrunPDF::DispPutIsAddDate},
      {.name = u"IsTextPosLocked",
       .id = 5,
       .get = &CSealrunPDF::DispGetIsTextPosLocked,
       .put = &CSealrunPDF::DispPutIsTextPosLocked},
  }};
  return table;
}

HRESULT CSealrunPDF::InterfaceSupportsErrorInfo(REFIID iid) { return iid == kICSealrunPdfIid ? S_OK : S_FALSE; }

HRESULT CSealrunPDF::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points) *points = nullptr;
  return E_NOTIMPL;
}

HRESULT CSealrunPDF::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  ConnectionPoint* const points[] = {&events_};
  return FindConnectionPointIn(points, iid, point);
}

// ---- Properties -------------------------------------------------------------------------------------

HRESULT CSealrunPDF::get_SigText(BSTR* value) {
  if (value == nullptr) return E_POINTER;
  *value = sigText_.Copy();
  return *value == nullptr && !sigText_.IsNull() ? E_OUTOFMEMORY : S_OK;
}

HRESULT CSealrunPDF::put_SigText(BSTR value) {
  return Guard("CSealrunPDF::put_SigText", [&] {
    const std::u16string_view text(value ? value : u"", SysStringLen(value));
    Bstr copy;
    if (value != nullptr && FAILED(copy.Assign(text))) return E_OUTOFMEMORY;
    sigText_ = std::move(copy);
    State().searchText = std::u16string(text);
    return S_OK;
  });
}

HRESULT CSealrunPDF::get_SigPage(LONG* value) {
  if (value == nullptr) return E_POINTER;
  *value = sigPage_;
  return S_OK;
}

HRESULT CSealrunPDF::put_SigPage(LONG value) {
  sigPage_ = value;
  State().pageSetting = value - 1;
  return S_OK;
}

HRESULT CSealrunPDF::get_SigFiles(BSTR* value) {
  if (value == nullptr) return E_POINTER;
  *value = nullptr;  // the list is handed in, never out
  return S_OK;
}

HRESULT CSealrunPDF::put_SigFiles(BSTR value) {
  return Guard("CSealrunPDF::put_SigFiles", [&] {
    const std::u16string_view text(value ? value : u"", SysStringLen(value));
    std::vector<std::u16string> files;
    size_t start = 0;
    for (;;) {
      const size_t end = text.find(u';', start);
      const size_t length = end == std::u16string_view::npos ? std::u16string_view::npos : end - start;
      files.emplace_back(text.substr(start, length));
      if (end == std::u16string_view::npos) break;
      start = end + 1;
    }
    State().fileList = std::move(files);
    return S_OK;
  });
}

HRESULT CSealrunPDF::get_IsAddDate(VARIANT_BOOL* value) {
  if (value == nullptr) return E_POINTER;
  *value = State().addDate;
  return S_OK;
}

HRESULT CSealrunPDF::put_IsAddDate(VARIANT_BOOL value) {
  State().addDate = value;
  return S_OK;
}

HRESULT CSealrunPDF::get_IsTextPosLocked(VARIANT_BOOL* value) {
  if (value == nullptr) return E_POINTER;
  *value = State().textPosLocked;
  return S_OK;
}

HRESULT CSealrunPDF::put_IsTextPosLocked(VARIANT_BOOL value) {
  State().textPosLocked = value;
  return S_OK;
}

HRESULT CSealrunPDF::DispGetSigText(DispatchCall& call) {
  Variant result;
  result.Get()->vt = VT_BSTR;
  if (const HRESULT hr = get_SigText(&result.Get()->bstrVal); FAILED(hr)) return hr;
  return call.ReturnVariant(*result.Get());
}

HRESULT CSealrunPDF::DispPutSigText(DispatchCall& call) {
  Variant value;
  if (const HRESULT hr = call.PutValueAs(VT_BSTR, value); FAILED(hr)) return hr;
  return put_SigText(value.Get()->bstrVal);
}

HRESULT CSealrunPDF::DispGetSigPage(DispatchCall& call) { return call.ReturnInt(sigPage_); }

HRESULT CSealrunPDF::DispPutSigPage(DispatchCall& call) {
  int32_t value = 0;
  if (const HRESULT hr = call.PutInt(value); FAILED(hr)) return hr;
  return put_SigPage(value);
}

HRESULT CSealrunPDF::DispGetSigFiles(DispatchCall& call) {
  Variant result;
  result.Get()->vt = VT_BSTR;
  result.Get()->bstrVal = nullptr;
  return call.ReturnVariant(*result.Get());
}

HRESULT CSealrunPDF::DispPutSigFiles(DispatchCall& call) {
  Variant value;
  if (const HRESULT hr = call.PutValueAs(VT_BSTR, value); FAILED(hr)) return hr;
  return put_SigFiles(value.Get()->bstrVal);
}

HRESULT CSealrunPDF::DispGetIsAddDate(DispatchCall& call) { return call.ReturnBool(State().addDate != 0); }

HRESULT CSealrunPDF::DispPutIsAddDate(DispatchCall& call) {
  bool value = false;
  if (const HRESULT hr = call.PutBool(value); FAILED(hr)) return hr;
  return put_IsAddDate(value ? VARIANT_TRUE : VARIANT_FALSE);
}

HRESULT CSealrunPDF::DispGetIsTextPosLocked(DispatchCall& call) { return call.ReturnBool(State().textPosLocked != 0); }

HRESULT CSealrunPDF::DispPutIsTextPosLocked(DispatchCall& call) {
  bool value = false;
  if (const HRESULT hr = call.PutBool(value); FAILED(hr)) return hr;
  return put_IsTextPosLocked(value ? VARIANT_TRUE : VARIANT_FALSE);
}

// ---- Connection -------------------------------------------------------------------------------------

// The host calls these two; what the work inside throws stays in the add-in.
HRESULT CSealrunPDF::OnConnection(IDispatch* application) {
  return Guard("CSealrunPDF::OnConnection", [&] { return Connect(application); });
}

HRESULT CSealrunPDF::OnDisconnection() {
  return Guard("CSealrunPDF::OnDisconnection", [&] { return Disconnect(); });
}

HRESULT CSealrunPDF::Connect(IDispatch* application) {
  AddinState& state = State();
  state.host = ComPtr<IDispatch>(application);
  if (!state.engine) state.engine = external::StartEngine();

  config::ConnectionSettings settings = config::ReadConnectionSettings();
  sealImage_.sealImagePath = std::move(settings.sigFilePath);
  state.signatureMode = std::move(settings.signatureMode);
  state.publicSettings = std::move(settings.publicSettings);

  BuildCommands();
  FindOrAddPane(kPaneName, kSignCaption);

  if (eventCookie_ != kNotSubscribed) return E_FAIL;
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  if (application == nullptr || FAILED(application->QueryInterface(IConnectionPointContainer::kIid, container.OutVoid())) ||
      FAILED(container->FindConnectionPoint(external::DIID_HostEvents, point.Out())) || !point ||
      FAILED(point->Advise(static_cast<IDispatch*>(&sink_), &cookie)))
    return S_OK;  // no events: the commands stay without effect, the host keeps running
  eventCookie_ = cookie;
  return S_OK;
}

HRESULT CSealrunPDF::Disconnect() {
  AddinState& state = State();
  state.engine.reset();
  if (!state.host) return E_NOTIMPL;
  if (eventCookie_ != kNotSubscribed) {
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (SUCCEEDED(state.host->QueryInterface(IConnectionPointContainer::kIid, container.OutVoid())) &&
        SUCCEEDED(container->FindConnectionPoint(external::DIID_HostEvents, point.Out())) && point)
      point->Unadvise(eventCookie_);
    eventCookie_ = kNotSubscribed;
  }
  state.host.Reset();
  state.textPosLocked = 0;
  state.fileList.clear();
  return S_OK;
}

namespace {

// Sets up one control: its id, image, caption, tooltip and style.
int32_t SetUpButton(IDispatch* added, external::IHostImageService* images, int resource, std::u16string_view caption,
                    std::u16string_view tooltip) {
  ComPtr<external::IHostControl> control;
  if (added == nullptr || FAILED(added->QueryInterface(external::IID_IHostControl, control.OutVoid())) || !control)
    return 0;
  LONG id = 0;
  control->get_Id(&id);
  if (auto image = LoadButtonImage(resource); image && images != nullptr) {
    Variant bitmap = Variant::ByRef(VT_UI1, &*image);
    LONG number = 0;
    if (SUCCEEDED(images->Register(*bitmap.Get(), id, &number))) control->put_Image(number);
  }
  const Bstr captionText(caption);
  const Bstr tooltipText(tooltip);
  control->put_Caption(captionText.Get());
  control->put_TooltipText(tooltipText.Get());
  control->put_Style(external::kHostControlStyleImageAndCaption);
  return id;
}

ComPtr<IDispatch> AddControl(external::IHostCommandBar* bar) {
  ComPtr<IDispatch> added;
  ComPtr<external::IHostControls> controls;
  if (bar == nullptr || FAILED(bar->get_Controls(controls.Out())) || !controls) return added;
  Variant missing = Variant::Missing();
  if (FAILED(controls->Add(*missing.Get(), *missing.Get(), *missing.Get(), added.Out()))) added.Reset();
  return added;
}

}  // namespace

void CSealrunPDF::BuildCommands() {
  const auto application = HostApplication();
  if (!application) return;
  ComPtr<external::IHostCommandBars> bars;
  if (FAILED(application->get_CommandBars(bars.Out())) || !bars) return;
  ComPtr<external::IHostImageService> images;
  if (FAILED(application->get_ImageService(images.Out()))) images.Reset();

  ComPtr<external::IHostCommandBar> bar;
  Variant barName(kCommandBarName);
  if (FAILED(bars->Item(*barName.Get(), bar.Out())) || !bar) {
    bar.Reset();
    const Bstr name(kCommandBarName);
    Variant missing = Variant::Missing();
    if (FAILED(bars->Add(name.Get(), *missing.Get(), bar.Out()))) bar.Reset();
  }
  if (bar) {
    verifyCommandId_ = SetUpButton(AddControl(bar.Get()).Get(), images.Get(), kVerifyButtonPng, kVerifyCaption,
                                   u"批量文档签章验证");
    signCommandId_ = SetUpButton(AddControl(bar.Get()).Get(), images.Get(), kSignButtonPng, kSignCaption, kSignCaption);
    removeCommandId_ = SetUpButton(AddControl(bar.Get()).Get(), images.Get(), kRemoveButtonPng, kRemoveCaption,
                                   u"批量文档撤销签章");
    bar->Finish();
  }

  popupBar_.Reset();
  const Bstr popupName(kPopupName);
  Variant popupType(static_cast<int32_t>(external::kHostCommandBarPopup));
  if (FAILED(bars->Add(popupName.Get(), *popupType.Get(), popupBar_.Out())) || !popupBar_) {
    popupBar_.Reset();
    return;
  }
  const auto addItem = [&](std::u16string_view caption, ComPtr<external::IHostControl>& item) -> int32_t {
    const auto added = AddControl(popupBar_.Get());
    item.Reset();
    if (!added || FAILED(added->QueryInterface(external::IID_IHostControl, item.OutVoid())) || !item) return 0;
    const Bstr text(caption);
    item->put_Caption(text.Get());
    item->put_Image(1);
    LONG id = 0;
    item->get_Id(&id);
    return id;
  };
  preStampCommandId_ = addItem(u"预盖印章", preStampItem_);
  chooseImageCommandId_ = addItem(u"自选印章", chooseImageItem_);
}

// ---- Host events ------------------------------------------------------------------------------------

HRESULT CSealrunPDF::OnCommand(uint32_t /*first*/, uint32_t id) {
  const auto command = static_cast<int32_t>(id);
  if (command == 0) return S_OK;  // no control of ours ever has id 0
  if (command == preStampCommandId_)
    ArmPreStamp();
  else if (command == chooseImageCommandId_)
    ChooseSealImage();
  else if (command == signCommandId_ || command == verifyCommandId_ || command == removeCommandId_)
    TogglePane(command);
  return S_OK;
}

void CSealrunPDF::ArmPreStamp() {
  placing_ = 1;
  const auto image = LoadSealImage(sealImage_.sealImagePath);
  sealImage_.sealImageWidth = image ? image->Width() : 0;
  sealImage_.sealImageHeight = image ? image->Height() : 0;
  sealCursor_.reset();
  if (image) sealCursor_ = ui::CreateCursorFromImage(*image, {255, 255, 255});
  ui::SetCursor(sealCursor_);
}

void CSealrunPDF::ChooseSealImage() {
  ui::OpenFileRequest request;
  const ui::Window* owner = ui::ActiveWindow();
  request.owner = owner ? owner->Handle() : 0;
  request.filters = {{u"图片文件(*.gif,*.bmp,*.jpg,*.png)", u"*.bmp;*.png;*.jpg;*.jpeg;*.gif"}};
  request.multiSelect = false;
  request.fileMustExist = true;
  const auto answer = ui::GetOpenFileName(request);
  if (!answer || answer->fileNames.empty()) return;
  std::u16string directory = answer->directory;
  if (!directory.empty() && directory.back() != u'/' && directory.back() != u'\\') directory += u'/';
  sealImage_.sealImagePath = directory + answer->fileNames.front();
  // The picture is used now either way; the user learns when the next start will not remember it.
  if (!config::WriteProductKey(config::kProductConfigFile, u"SigFilePath", sealImage_.sealImagePath))
    ui::Notify(u"the chosen seal picture is used now but could not be remembered in the settings file " +
               config::ResolvePersonalConfigPath(config::kProductConfigFile, u""));
}

void CSealrunPDF::TogglePane(int32_t id) {
  const auto pane = FindOrAddPane(kPaneName, u"");
  if (!pane) return;
  VARIANT_BOOL visible = 0;
  pane->get_Visible(&visible);
  AddinState& state = State();
  if (id == removeCommandId_)
    state.paneMode = PaneMode::Remove;
  else if (id == verifyCommandId_ && visible == 0)
    state.paneMode = PaneMode::Verify;
  else
    state.paneMode = PaneMode::Sign;
  const Bstr caption(id == signCommandId_ ? kSignCaption : id == verifyCommandId_ ? kVerifyCaption : kRemoveCaption);
  pane->put_Caption(caption.Get());
  if (id == removeCommandId_) state.resultSummary.clear();
  pane->get_Visible(&paneVisible_);
  pane->put_Visible(paneVisible_ ? 0 : 1);
}

HRESULT CSealrunPDF::OnContextRequest(IDispatch*, ULONGLONG, ULONGLONG l, VARIANT_BOOL* handled) {
  const auto pane = FindPane(kPaneName);
  VARIANT_BOOL visible = 0;
  if (!pane || FAILED(pane->get_Visible(&visible)) || visible == 0) return S_OK;
  const auto document = ActiveDocument();
  const auto pageView = PageViewOf(document.Get());
  if (!pageView) return S_OK;
  const double x = external::HostEventX(l);
  const double y = external::HostEventY(l);

  ComPtr<external::IHostAnnotation> annotation;
  if (SUCCEEDED(pageView->AnnotationAt(x, y, annotation.Out())) && annotation) {
    Bstr type;
    annotation->get_TypeName(type.Out());
    const Bstr seal(verify::kSealSubtypeText);
    const Bstr widget(u"Widget");
    if (VarBstrCmp(type.Get(), seal.Get(), 0x400, 0) == VARCMP_EQ ||
        VarBstrCmp(type.Get(), widget.Get(), 0x400, 0) == VARCMP_EQ)
      return S_OK;
  }
  ComPtr<IDispatch> object;
  if (SUCCEEDED(pageView->ObjectAt(x, y, object.Out())) && object) return S_OK;

  placing_ = 0;
  Variant interaction;
  DISPPARAMS noArguments{};
  const HRESULT hr = document->Invoke(external::kDispidDocumentInteraction, IID_NULL, kInteractionLocale,
                                      DISPATCH_PROPERTYGET, &noArguments, interaction.Out(), nullptr, nullptr);
  LONG value = 0;
  if (FAILED(hr) || (SUCCEEDED(document->get_Interaction(&value)) && value == 0)) {
    if (popupBar_) {
      Variant missing = Variant::Missing();
      popupBar_->ShowPopup(*missing.Get(), *missing.Get());
    }
  }
  if (handled != nullptr) *handled = 1;
  return S_OK;
}

HRESULT CSealrunPDF::OnSetCursor(IDispatch*, ULONGLONG, ULONGLONG, VARIANT_BOOL* handled) {
  if (placing_ != 1) return S_OK;
  ui::SetCursor(sealCursor_);
  if (handled != nullptr) *handled = VARIANT_TRUE;
  return S_OK;
}

HRESULT CSealrunPDF::OnMouseNotify(IDispatch*, ULONGLONG, ULONGLONG, VARIANT_BOOL*) { return S_OK; }

HRESULT CSealrunPDF::OnPlaceClick(IDispatch*, ULONGLONG, ULONGLONG l, VARIANT_BOOL*) {
  if (placing_ == 0) return S_OK;
  const HRESULT hr = PlacePreStamp(sealImage_, l);
  if (hr == S_OK) placing_ = 0;
  return hr;
}

}  // namespace sealrun::addin
