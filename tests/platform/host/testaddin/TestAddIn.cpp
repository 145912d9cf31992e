// The test add-in module: "Sealrun.TestHostAddIn.1" connects to the host like a real add-in (toolbar,
// popup, pane, event subscription) and records what the host sends; "Sealrun.TestHostPane.1" is the pane
// control with a toolbar and a list.
#include <map>
#include <memory>

#include "platform/com/ComObject.h"
#include "platform/com/Registration.h"
#include "platform/com/ServerModule.h"
#include "platform/imaging/Image.h"
#include "platform/ui/ListView.h"
#include "platform/ui/Toolbar.h"
#include "tests/platform/host/testaddin/TestAddIn.h"

namespace sealrun::platform::host::testaddin {
namespace {

using namespace sealrun::platform::com;
using external::IHostApplication;

// IDispatch with no members: the test objects are called through their slots.
#define SEALRUN_TEST_NO_DISPATCH                                                                   \
  HRESULT GetTypeInfoCount(UINT* count) override {                                                 \
    *count = 0;                                                                                    \
    return S_OK;                                                                                   \
  }                                                                                                \
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }                \
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }

class TestAddIn;

class EventSink final : public ComObject<EventSink, IDispatch> {
 public:
  explicit EventSink(TestAddIn* owner) : owner_(owner) {}
  void Detach() { owner_ = nullptr; }
  SEALRUN_TEST_NO_DISPATCH
  HRESULT Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

 protected:
  HRESULT QueryOtherInterface(REFIID iid, void** object) override {
    if (!(iid == external::DIID_HostEvents)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IDispatch*>(this);
    return S_OK;
  }

 private:
  TestAddIn* owner_;
};

class TestAddIn final : public ComObject<TestAddIn, external::QPXExtensibility, ITestAddInRecord> {
 public:
  ~TestAddIn() override {
    if (sink_) sink_->Detach();
  }
  SEALRUN_TEST_NO_DISPATCH
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }

  HRESULT OnConnection(IDispatch* application) override {
    ++connections_;
    if (application == nullptr) return E_POINTER;
    if (const HRESULT hr = application->QueryInterface(IHostApplication::kIid, app_.OutVoid()); FAILED(hr)) return hr;
    app_->get_LanguageId(&languageId_);
    BuildCommands();
    BuildPane();
    ComPtr<IConnectionPointContainer> container;
    if (const HRESULT hr = app_.As(container); FAILED(hr)) return hr;
    ComPtr<IConnectionPoint> point;
    if (const HRESULT hr = container->FindConnectionPoint(external::DIID_HostEvents, point.Out()); FAILED(hr))
      return hr;
    EventSink::Create(sink_, this);
    return point->Advise(static_cast<IDispatch*>(sink_.Get()), &cookie_);
  }

  HRESULT OnDisconnection() override {
    ++disconnections_;
    if (!app_) return E_NOTIMPL;
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (SUCCEEDED(app_.As(container)) &&
        SUCCEEDED(container->FindConnectionPoint(external::DIID_HostEvents, point.Out())))
      point->Unadvise(cookie_);
    popup_.Reset();
    app_.Reset();
    return S_OK;
  }
  HRESULT OnAddInsUpdate() override { return E_NOTIMPL; }
  HRESULT OnStartupComplete(VARIANT*) override { return E_NOTIMPL; }
  HRESULT OnBeginShutdown(VARIANT*) override { return E_NOTIMPL; }

  const std::vector<RecordedEvent>& Events() override { return events_; }
  int Connections() override { return connections_; }
  int Disconnections() override { return disconnections_; }
  std::vector<LONG> ControlIds() override { return controlIds_; }
  LONG PopupItemId() override { return popupItemId_; }
  void SetHandledAnswer(DISPID id, VARIANT_BOOL value) override { answers_[id] = value; }
  void SetShowPopupOnContext(bool value) override { showPopup_ = value; }
  LONG LanguageId() override { return languageId_; }
  LONG RegisteredImage() override { return registeredImage_; }

  void Record(DISPID member, DISPPARAMS& params) {
    RecordedEvent event;
    event.id = member;
    for (UINT i = params.cArgs; i > 0; --i) event.types.push_back(params.rgvarg[i - 1].vt);
    if (member == external::kHostEventCommand && params.cArgs == 2) {
      event.first = params.rgvarg[1].ulVal;
      event.commandId = params.rgvarg[0].ulVal;
    } else if (params.cArgs == 4) {
      IDispatch* view = params.rgvarg[3].vt == VT_DISPATCH ? params.rgvarg[3].pdispVal : nullptr;
      event.w = params.rgvarg[2].ullVal;
      event.l = params.rgvarg[1].ullVal;
      ComPtr<external::IHostPageView> pageView;
      if (view != nullptr && SUCCEEDED(view->QueryInterface(external::IHostPageView::kIid, pageView.OutVoid()))) {
        event.viewIsPageView = true;
        event.pageX = external::HostEventX(event.l);
        event.pageY = external::HostEventY(event.l);
        pageView->PointToPage(&event.pageX, &event.pageY, &event.pageIndex);
      }
      VARIANT& handled = params.rgvarg[0];
      if (handled.vt == (VT_BYREF | VT_BOOL)) {
        if (const auto answer = answers_.find(member); answer != answers_.end()) *handled.pboolVal = answer->second;
        if (member == external::kHostEventContext && showPopup_ && popup_) {
          popup_->ShowPopup(*Variant::Missing().Get(), *Variant::Missing().Get());
          *handled.pboolVal = 1;
        }
      }
    }
    events_.push_back(std::move(event));
  }

 private:
  ComPtr<external::IHostControl> AddControl(external::IHostCommandBar& bar, std::u16string_view caption) {
    ComPtr<external::IHostControls> controls;
    ComPtr<IDispatch> added;
    ComPtr<external::IHostControl> control;
    const Variant missing = Variant::Missing();
    if (FAILED(bar.get_Controls(controls.Out())) || !controls ||
        FAILED(controls->Add(*missing.Get(), *missing.Get(), *missing.Get(), added.Out())) || !added ||
        FAILED(added.As(control)))
      return nullptr;
    const Bstr text(caption);
    control->put_Caption(text.Get());
    control->put_TooltipText(text.Get());
    control->put_Style(external::kHostControlStyleImageAndCaption);
    return control;
  }

  void BuildCommands() {
    ComPtr<external::IHostCommandBars> bars;
    if (FAILED(app_->get_CommandBars(bars.Out())) || !bars) return;
    ComPtr<external::IHostCommandBar> toolbar;
    const Variant name(kToolbarName);
    bars->Item(*name.Get(), toolbar.Out());
    const Bstr toolbarName(kToolbarName);
    if (!toolbar) bars->Add(toolbarName.Get(), *Variant::Missing().Get(), toolbar.Out());
    if (toolbar) {
      ComPtr<external::IHostImageService> images;
      app_->get_ImageService(images.Out());
      std::optional<imaging::Image> picture = imaging::Image::Create(16, 16, 24);
      for (const char16_t* caption : {kFirstButton, kSecondButton}) {
        const ComPtr<external::IHostControl> control = AddControl(*toolbar.Get(), caption);
        if (!control) continue;
        LONG id = 0;
        control->get_Id(&id);
        controlIds_.push_back(id);
        if (images && picture) {
          const Variant bitmap = Variant::ByRef(VT_UI1, &*picture);
          images->Register(*bitmap.Get(), id, &registeredImage_);
          control->put_Image(registeredImage_);
        }
      }
      toolbar->Finish();
    }
    const Bstr popupName(kPopupName);
    if (SUCCEEDED(bars->Add(popupName.Get(), *Variant(external::kHostCommandBarPopup).Get(), popup_.Out())) && popup_) {
      if (const ComPtr<external::IHostControl> item = AddControl(*popup_.Get(), kPopupItem)) item->get_Id(&popupItemId_);
    }
  }

  void BuildPane() {
    ComPtr<external::IHostPanes> panes;
    if (FAILED(app_->get_Panes(panes.Out())) || !panes) return;
    ComPtr<external::IHostPane> pane;
    panes->Item(*Variant(kPaneName).Get(), pane.Out());
    if (pane) return;
    const Bstr name(kPaneName);
    const Bstr caption(u"Test pane");
    const Bstr progId(kPaneProgId);
    panes->Add(name.Get(), caption.Get(), progId.Get(), external::kHostPanePlacementRight, pane.Out());
  }

  ComPtr<IHostApplication> app_;
  ComPtr<EventSink> sink_;
  ComPtr<external::IHostCommandBar> popup_;
  DWORD cookie_ = 0;
  int connections_ = 0;
  int disconnections_ = 0;
  std::vector<LONG> controlIds_;
  LONG popupItemId_ = 0;
  LONG languageId_ = 0;
  LONG registeredImage_ = 0;
  std::map<DISPID, VARIANT_BOOL> answers_;
  bool showPopup_ = false;
  std::vector<RecordedEvent> events_;
};

HRESULT EventSink::Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
  if (params == nullptr || flags != DISPATCH_METHOD) return E_INVALIDARG;
  if (owner_ != nullptr) owner_->Record(member, *params);
  return S_OK;
}

struct PaneData {
  int focusCount = 0;
  int sizeCount = 0;
  std::vector<int> commands;
  std::vector<std::u16string> openedRows;
};

class PaneWindow final : public ui::Window {
 public:
  explicit PaneWindow(std::shared_ptr<PaneData> data) : ui::Window(u"TestPaneWindow"), data_(std::move(data)) {
    auto toolbar = std::make_unique<ui::Toolbar>(0xE800);
    toolbar->AddButton(kPaneAddButton, 0, u"Add");
    toolbar->AddButton(kPaneRunButton, 1, u"Run");
    AddChild(std::move(toolbar));
    auto list = std::make_unique<ui::ListView>(kPaneListId);
    list->InsertColumn(0, {u"Name", 100, ui::ListView::Align::Center});
    list->InsertRow(0, u"a.pdf");
    list->InsertRow(1, u"b.pdf");
    list_ = AddChild(std::move(list));
  }

  ui::LResult HandleMessage(uint32_t message, ui::WParam wParam, ui::LParam lParam) override {
    switch (message) {
      case ui::kWmSetFocus:
        ++data_->focusCount;
        break;
      case ui::kWmSize:
        ++data_->sizeCount;
        break;
      case ui::kWmCommand:
        data_->commands.push_back(ui::CommandId(wParam));
        break;
      case ui::kWmNotify: {
        const auto* header = reinterpret_cast<const ui::NotifyHeader*>(lParam);
        if (header != nullptr && header->code == ui::kNmDblClk)
          data_->openedRows.push_back(list_->ItemText(list_->NextItem(0, ui::kLvisSelected), 0));
        break;
      }
      default:
        break;
    }
    return 0;
  }

 private:
  std::shared_ptr<PaneData> data_;
  ui::ListView* list_ = nullptr;
};

class TestPane final : public ComObject<TestPane, external::IHostedControl, ITestPaneRecord> {
 public:
  HRESULT CreateControlWindow(external::HostWindowHandle parent, external::HostWindowHandle* window) override {
    if (window == nullptr) return E_POINTER;
    if (ui::FromHandle(handle_) != nullptr) {
      *window = handle_;
      return S_OK;
    }
    ui::Window* parentWindow = ui::FromHandle(parent);
    if (parentWindow == nullptr) return E_INVALIDARG;
    handle_ = parentWindow->AddChild(std::make_unique<PaneWindow>(data_))->Handle();
    *window = handle_;
    return S_OK;
  }
  int FocusCount() override { return data_->focusCount; }
  const std::vector<int>& Commands() override { return data_->commands; }
  const std::vector<std::u16string>& OpenedRows() override { return data_->openedRows; }
  int SizeCount() override { return data_->sizeCount; }

 private:
  std::shared_ptr<PaneData> data_ = std::make_shared<PaneData>();
  ui::WindowHandle handle_ = 0;
};

const ServerClass kClasses[] = {ServedClass<TestAddIn>(kAddInClsid), ServedClass<TestPane>(kPaneClsid)};

}  // namespace
}  // namespace sealrun::platform::host::testaddin

using namespace sealrun::platform::com;

HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return GetServerClassObject(sealrun::platform::host::testaddin::kClasses, clsid, iid, object);
}
HRESULT DllCanUnloadNow() { return ModuleCanUnloadNow(); }
// Tests register the classes themselves (the module path comes from the build).
HRESULT DllRegisterServer() { return E_NOTIMPL; }
HRESULT DllUnregisterServer() { return E_NOTIMPL; }
HRESULT DllInstall(BOOL, LPCOLESTR) { return E_NOTIMPL; }
