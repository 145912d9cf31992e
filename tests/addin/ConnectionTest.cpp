// The add-in in its host: commands, popup and pane made at connection, the three commands toggling the
// pane and its mode, the popup rules, the automation properties, and disconnection.
#include "addin/PreStamp.h"
#include "addin/SealrunPdf.h"
#include "platform/com/InvokeByName.h"
#include "platform/host/CommandBarObjects.h"
#include "platform/host/PaneObjects.h"
#include "platform/ui/ListView.h"
#include "platform/ui/Toolbar.h"
#include "tests/addin/HostFixture.h"
#include "workbench/BatchPaneWindow.h"

namespace sealrun::addin::testing {
namespace {

using platform::host::CommandBarObject;

std::vector<com::ComPtr<CommandBarObject>> BarsNamed(host::HostDriver& driver, std::u16string_view name) {
  std::vector<com::ComPtr<CommandBarObject>> bars;
  for (const auto& bar : driver.Host().State().commandBars)
    if (bar->Name() == name) bars.push_back(bar);
  return bars;
}

ui::Toolbar* PaneToolbar(host::HostDriver& driver) {
  ui::Window* window = driver.PaneWindow(u"Sealrun");
  return window ? window->ChildAs<ui::Toolbar>(workbench::kToolbarId) : nullptr;
}

using Connection = HostedAddin;

TEST_F(Connection, BuildsTheToolbarThePopupAndThePane) {
  const auto toolbars = BarsNamed(driver_, u"批量签章");
  ASSERT_EQ(toolbars.size(), 1u);
  const auto& bar = *toolbars[0].Get();
  EXPECT_TRUE(bar.IsFinished());
  ASSERT_EQ(bar.Controls().size(), 3u);
  const std::u16string captions[] = {u"签章验证", u"批量签章", u"批量撤章"};
  const std::u16string tooltips[] = {u"批量文档签章验证", u"批量签章", u"批量文档撤销签章"};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(bar.Controls()[i]->Caption(), captions[i]);
    EXPECT_EQ(bar.Controls()[i]->Tooltip(), tooltips[i]);
    EXPECT_EQ(bar.Controls()[i]->Style(), 2);
    EXPECT_NE(bar.Controls()[i]->Image(), 0) << "the PNG resource reached the host's image service";
  }
  const auto popups = BarsNamed(driver_, u"VEZPopup");
  ASSERT_EQ(popups.size(), 1u);
  EXPECT_TRUE(popups[0]->IsPopup());
  ASSERT_EQ(popups[0]->Controls().size(), 2u);
  EXPECT_EQ(popups[0]->Controls()[0]->Caption(), u"预盖印章");
  EXPECT_EQ(popups[0]->Controls()[1]->Caption(), u"自选印章");
  EXPECT_EQ(popups[0]->Controls()[0]->Image(), 1);

  const auto pane = driver_.Host().Pane(u"Sealrun");
  ASSERT_TRUE(pane);
  EXPECT_EQ(pane->Caption(), u"批量签章");
  EXPECT_EQ(pane->ProgId(), u"Sealrun.Pane");
  ASSERT_NE(driver_.PaneWindow(u"Sealrun"), nullptr);
  const auto* list = driver_.PaneWindow(u"Sealrun")->ChildAs<ui::ListView>(workbench::kFileListId);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Columns().size(), 3u);
  EXPECT_EQ(list->Columns()[0].heading, u"文件名称");
  EXPECT_EQ(list->Columns()[1].width, 150);
  EXPECT_EQ(list->Columns()[2].align, ui::ListView::Align::Center);
}

TEST_F(Connection, AReconnectionReusesTheToolbarAndAddsAnotherPopup) {
  // A fresh host has no bars of an earlier run: connecting again in the same host is what reuse means.
  const auto addin = driver_.Host().AddIns()[0].addIn;
  ASSERT_EQ(addin->OnDisconnection(), com::S_OK);
  ASSERT_EQ(addin->OnConnection(driver_.Host().Application().Get()), com::S_OK);
  const auto toolbars = BarsNamed(driver_, u"批量签章");
  ASSERT_EQ(toolbars.size(), 1u);
  EXPECT_EQ(toolbars[0]->Controls().size(), 6u);
  EXPECT_EQ(BarsNamed(driver_, u"VEZPopup").size(), 2u);
  EXPECT_EQ(addin->OnConnection(driver_.Host().Application().Get()), com::E_FAIL) << "already subscribed";
}

TEST_F(Connection, TheThreeCommandsToggleThePaneAndSetItsMode) {
  const auto pane = driver_.Host().Pane(u"Sealrun");
  ASSERT_TRUE(pane);
  driver_.ShowPane(u"Sealrun", false);

  ASSERT_TRUE(driver_.ClickControl(u"签章验证"));
  EXPECT_TRUE(pane->IsVisible());
  EXPECT_EQ(pane->Caption(), u"签章验证");
  ASSERT_TRUE(driver_.FocusPane(u"Sealrun"));
  EXPECT_EQ(PaneToolbar(driver_)->Tooltip(workbench::kRunCommand), u"签章验证");
  EXPECT_EQ(PaneToolbar(driver_)->Tooltip(workbench::kResultsCommand), u"导出日志");

  ASSERT_TRUE(driver_.ClickControl(u"签章验证"));  // visible: hides, and the mode becomes Sign
  EXPECT_FALSE(pane->IsVisible());
  ASSERT_TRUE(driver_.FocusPane(u"Sealrun"));
  EXPECT_EQ(PaneToolbar(driver_)->Tooltip(workbench::kRunCommand), u"批量签章");
  EXPECT_EQ(PaneToolbar(driver_)->Tooltip(workbench::kResultsCommand), u"签章结果");

  driver_.ShowPane(u"Sealrun", false);
  ASSERT_TRUE(driver_.ClickControl(u"批量撤章"));
  EXPECT_TRUE(pane->IsVisible());
  EXPECT_EQ(pane->Caption(), u"批量撤章");
  ASSERT_TRUE(driver_.FocusPane(u"Sealrun"));
  EXPECT_EQ(PaneToolbar(driver_)->Tooltip(workbench::kRunCommand), u"批量撤章");
  EXPECT_EQ(PaneToolbar(driver_)->Tooltip(workbench::kResultsCommand), u"撤章结果");
  ASSERT_TRUE(driver_.PressPaneButton(u"Sealrun", workbench::kResultsCommand));
  ASSERT_FALSE(backend_->MessageBoxes().empty());
  EXPECT_EQ(backend_->MessageBoxes().back().text, u"暂无撤章结果数据,请确认是否签章！");
  EXPECT_EQ(backend_->MessageBoxes().back().caption, u"统计");

  ASSERT_TRUE(driver_.ClickControl(u"批量签章"));
  EXPECT_FALSE(pane->IsVisible());
  EXPECT_EQ(pane->Caption(), u"批量签章");
}

TEST_F(Connection, ThePopupShowsOnAnEmptySpotOnlyWhileThePaneIsVisible) {
  const auto path = Template("pdfjs-sizes.pdf");
  ASSERT_EQ(driver_.OpenDocument(U16(path)), com::S_OK);

  driver_.ShowPane(u"Sealrun", false);
  auto result = driver_.RightClick(0, {200, 200});
  EXPECT_FALSE(result.handled);
  EXPECT_FALSE(driver_.Popup().has_value());
  EXPECT_EQ(driver_.HostContextMenus(), 1) << "the host's own menu when the pane is hidden";

  driver_.ShowPane(u"Sealrun", true);
  result = driver_.RightClick(0, {200, 200});
  EXPECT_TRUE(result.handled);
  ASSERT_TRUE(driver_.Popup().has_value());
  EXPECT_EQ(driver_.Popup()->bar->Name(), u"VEZPopup");
  EXPECT_EQ(driver_.HostContextMenus(), 1);

  // On a pre-stamp (an object under the pointer) the add-in stays out of the way.
  ASSERT_TRUE(driver_.ClickPopupItem(u"预盖印章"));
  ASSERT_TRUE(driver_.Click(0, {200, 200}).onPage);
  driver_.DismissPopup();
  result = driver_.RightClick(0, {200, 200});
  EXPECT_FALSE(result.handled);
  EXPECT_FALSE(driver_.Popup().has_value());
}

TEST_F(Connection, AnEmptySpotContextRequestDisarmsThePreStamp) {
  const auto path = Template("pdfjs-sizes.pdf");
  ASSERT_EQ(driver_.OpenDocument(U16(path)), com::S_OK);
  driver_.ShowPane(u"Sealrun", true);
  driver_.RightClick(0, {100, 100});
  ASSERT_TRUE(driver_.ClickPopupItem(u"预盖印章"));
  EXPECT_TRUE(driver_.CursorAt(0, {300, 300}).handled) << "armed: the seal cursor";
  driver_.RightClick(0, {100, 100});
  driver_.DismissPopup();
  EXPECT_FALSE(driver_.CursorAt(0, {300, 300}).handled);
  driver_.Click(0, {300, 300});
  LendHost();
  EXPECT_EQ(ReadBackTemplates(), 0) << "a disarmed click places nothing";
}

TEST_F(Connection, AutomationPropertiesAndDisconnection) {
  const auto dispatch = AddinDispatch();
  ASSERT_TRUE(dispatch);
  com::Variant result;
  ASSERT_EQ(com::InvokeByName(dispatch.Get(), u"SigPage", com::DISPATCH_PROPERTYPUT, {com::Variant(3)}, nullptr),
            com::S_OK);
  ASSERT_EQ(com::InvokeByName(dispatch.Get(), u"SigPage", com::DISPATCH_PROPERTYGET, {}, result.Out()), com::S_OK);
  EXPECT_EQ(result.AsInt(), 3);
  ASSERT_EQ(com::InvokeByName(dispatch.Get(), u"SigText", com::DISPATCH_PROPERTYPUT, {com::Variant(u"合同")}, nullptr),
            com::S_OK);
  ASSERT_EQ(com::InvokeByName(dispatch.Get(), u"SigText", com::DISPATCH_PROPERTYGET, {}, result.Out()), com::S_OK);
  EXPECT_EQ(result.AsString(), u"合同");
  ASSERT_EQ(com::InvokeByName(dispatch.Get(), u"IsAddDate", com::DISPATCH_PROPERTYPUT, {com::Variant(true)}, nullptr),
            com::S_OK);
  ASSERT_EQ(com::InvokeByName(dispatch.Get(), u"SigFiles", com::DISPATCH_PROPERTYPUT, {com::Variant(u"/a/x.pdf;")},
                              nullptr),
            com::S_OK);
  ASSERT_EQ(com::InvokeByName(dispatch.Get(), u"SigFiles", com::DISPATCH_PROPERTYGET, {}, result.Out()), com::S_OK);
  EXPECT_EQ(result.Type(), com::VT_BSTR);
  EXPECT_EQ(result.Get()->bstrVal, nullptr) << "the list is never handed out";

  com::ComPtr<com::ISupportErrorInfo> errorInfo;
  ASSERT_EQ(dispatch->QueryInterface(com::IID_ISupportErrorInfo, errorInfo.OutVoid()), com::S_OK);
  EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(kICSealrunPdfIid), com::S_OK);
  EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(com::IID_IDispatch), com::S_FALSE);
  com::ComPtr<com::IConnectionPointContainer> container;
  com::ComPtr<com::IConnectionPoint> point;
  ASSERT_EQ(dispatch->QueryInterface(com::IID_IConnectionPointContainer, container.OutVoid()), com::S_OK);
  EXPECT_EQ(container->FindConnectionPoint(kSealrunPdfEventsIid, point.Out()), com::S_OK);

  // Disconnection forgets the file list and the lock but keeps the other presets.
  const auto addin = driver_.Host().AddIns()[0].addIn;
  ASSERT_EQ(com::InvokeByName(dispatch.Get(), u"IsTextPosLocked", com::DISPATCH_PROPERTYPUT, {com::Variant(true)},
                              nullptr),
            com::S_OK);
  ASSERT_EQ(addin->OnDisconnection(), com::S_OK);
  EXPECT_EQ(addin->OnDisconnection(), com::E_NOTIMPL) << "no host held any more";
  ASSERT_EQ(com::InvokeByName(dispatch.Get(), u"IsTextPosLocked", com::DISPATCH_PROPERTYGET, {}, result.Out()),
            com::S_OK);
  EXPECT_EQ(result.AsBool(), false);
  ASSERT_EQ(com::InvokeByName(dispatch.Get(), u"IsAddDate", com::DISPATCH_PROPERTYGET, {}, result.Out()), com::S_OK);
  EXPECT_EQ(result.AsBool(), true);
  ASSERT_EQ(com::InvokeByName(dispatch.Get(), u"SigPage", com::DISPATCH_PROPERTYGET, {}, result.Out()), com::S_OK);
  EXPECT_EQ(result.AsInt(), 3);
  ASSERT_TRUE(driver_.ClickControl(u"批量签章"));  // no longer subscribed: the pane does not react
  ASSERT_EQ(addin->OnConnection(driver_.Host().Application().Get()), com::S_OK);
}

TEST_F(Connection, SignatureFieldsUntilTheConnectionReadsTheSignatureMode) {
  // This program's own copy of the add-in object and of the module-wide state it fills.
  const std::filesystem::path folder = temp_ / "config" / "Signavox_ConfigFile";
  std::filesystem::create_directories(folder);
  for (const std::string setting : {"", "2", "1"}) {
    SCOPED_TRACE(setting);
    if (!setting.empty())
      sealrun::testing::WriteFileBytes(folder / "OrtavexConfig.dll",
                                       "<Brasmoor><S><SignatureMode>" + setting + "</SignatureMode></S></Brasmoor>");
    State().signatureMode = config::SignatureMode(u"0");
    com::ComPtr<external::QPXExtensibility> addin;
    ASSERT_EQ(CSealrunPDF::CreateObject(nullptr, external::QPXExtensibility::kIid, addin.OutVoid()), com::S_OK);
    EXPECT_EQ(State().signatureMode.Text(), u"1");
    EXPECT_TRUE(UsesSignatureFields(State()));

    ASSERT_EQ(addin->OnConnection(driver_.Host().Application().Get()), com::S_OK);
    // No OrtavexConfig.dll anywhere reads as "0".
    const std::u16string expected = setting.empty() ? u"0" : std::u16string(setting.begin(), setting.end());
    EXPECT_EQ(State().signatureMode.Text(), expected);
    EXPECT_EQ(UsesSignatureFields(State()), setting == "1");
    EXPECT_EQ(addin->OnDisconnection(), com::S_OK);
  }
}

}  // namespace
}  // namespace sealrun::addin::testing
