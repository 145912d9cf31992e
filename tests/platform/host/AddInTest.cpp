// The host with the test add-in module: add-ins loaded from the settings and connected, command ids unique
// and delivered in event 1, the popup on a right-click, the layout of the view events' parameters, the
// handled flag, panes created by ProgID with their control's window, and disconnection on shutdown.
#include <set>

#include "platform/com/Bstr.h"
#include "platform/host/HostSettings.h"
#include "tests/platform/host/HostTestSupport.h"
#include "tests/platform/host/testaddin/TestAddIn.h"

namespace sealrun::platform::host::testing {
namespace {

using com::Bstr;
using com::ComPtr;
using testaddin::ITestAddInRecord;
using testaddin::ITestPaneRecord;

class AddInTest : public HostTest {
 protected:
  void SetUp() override {
    RegisterTestModule();
    ASSERT_EQ(driver.Start(SettingsWith({testaddin::kAddInProgId})), com::S_OK);
    ASSERT_EQ(driver.Host().AddIns().size(), 1u);
    ASSERT_EQ(driver.Host().AddIns()[0].result, com::S_OK);
    ASSERT_EQ(driver.Host().AddIns()[0].addIn.As(record), com::S_OK);
  }
  void TearDown() override {
    record.Reset();
    driver.Shutdown();
  }
  const testaddin::RecordedEvent& LastEvent() { return record->Events().back(); }
  ComPtr<ITestPaneRecord> PaneRecord() {
    ComPtr<ITestPaneRecord> pane;
    const auto object = driver.Host().Pane(testaddin::kPaneName);
    if (object) object->Control().As(pane);
    return pane;
  }

  HostDriver driver;
  ComPtr<ITestAddInRecord> record;
};

TEST_F(AddInTest, AddInIsConnectedOnceAndDisconnectedAtShutdown) {
  EXPECT_EQ(record->Connections(), 1);
  EXPECT_EQ(record->Disconnections(), 0);
  EXPECT_EQ(record->LanguageId(), 2052);
  EXPECT_EQ(driver.Host().Application()->SinkCount(), 1u);
  EXPECT_GT(record->RegisteredImage(), 0);
  driver.Shutdown();
  EXPECT_EQ(record->Disconnections(), 1);
  // A second shutdown does nothing more.
  driver.Shutdown();
  EXPECT_EQ(record->Disconnections(), 1);
}

TEST_F(AddInTest, CommandIdsAreUniqueAndDeliveredInEventOne) {
  std::vector<com::LONG> ids = record->ControlIds();
  ids.push_back(record->PopupItemId());
  ASSERT_EQ(ids.size(), 3u);
  EXPECT_EQ(std::set<com::LONG>(ids.begin(), ids.end()).size(), 3u);
  ASSERT_TRUE(driver.ClickControl(testaddin::kSecondButton));
  EXPECT_EQ(LastEvent().id, external::kHostEventCommand);
  EXPECT_EQ(LastEvent().types, (std::vector<com::VARTYPE>{com::VT_UI4, com::VT_UI4}));
  EXPECT_EQ(LastEvent().first, 0u);
  EXPECT_EQ(LastEvent().commandId, static_cast<com::ULONG>(record->ControlIds()[1]));
  ASSERT_TRUE(driver.ClickControl(record->ControlIds()[0]));
  EXPECT_EQ(LastEvent().commandId, static_cast<com::ULONG>(record->ControlIds()[0]));
  // Popup items are clicked only in a popup on show.
  const size_t before = record->Events().size();
  EXPECT_FALSE(driver.ClickControl(record->PopupItemId()));
  EXPECT_FALSE(driver.ClickPopupItem(record->PopupItemId()));
  EXPECT_EQ(record->Events().size(), before);
}

TEST_F(AddInTest, ReconnectingAddInReusesItsToolbarAndGetsFreshIds) {
  // A second host session with the same settings: new controls get ids no earlier control had.
  auto first = record->ControlIds();
  driver.Host().AddIns()[0].addIn->OnDisconnection();
  ASSERT_EQ(driver.Host().AddIns()[0].addIn->OnConnection(driver.Host().Application().Get()), com::S_OK);
  auto second = record->ControlIds();
  ASSERT_EQ(second.size(), 4u);
  EXPECT_EQ(std::set<com::LONG>(second.begin(), second.end()).size(), 4u);
  com::LONG bars = 0;
  for (const auto& bar : driver.Host().State().commandBars)
    if (bar->Name() == testaddin::kToolbarName) ++bars;
  EXPECT_EQ(bars, 1);
}

TEST_F(AddInTest, RightClickShowsThePopupWhoseItemReportsItsId) {
  ASSERT_EQ(driver.OpenDocument(U16(CopyCorpus("qpdf-minimal.pdf"))), com::S_OK);
  record->SetShowPopupOnContext(true);
  const PointerResult result = driver.RightClick(0, {200, 300});
  EXPECT_TRUE(result.onPage);
  EXPECT_TRUE(result.handled);
  EXPECT_FALSE(result.hostReacted);
  EXPECT_EQ(driver.HostContextMenus(), 0);
  ASSERT_TRUE(driver.Popup());
  Bstr popupName;
  driver.Popup()->bar->get_Name(popupName.Out());
  EXPECT_EQ(popupName.View(), testaddin::kPopupName);
  // Shown at the pointer.
  ASSERT_TRUE(driver.Popup()->at);
  EXPECT_DOUBLE_EQ(driver.Popup()->at->x, result.pixel.x);
  ASSERT_TRUE(driver.ClickPopupItem(testaddin::kPopupItem));
  EXPECT_EQ(LastEvent().id, external::kHostEventCommand);
  EXPECT_EQ(LastEvent().commandId, static_cast<com::ULONG>(record->PopupItemId()));
  EXPECT_FALSE(driver.Popup());
  // Unhandled, the host shows its own menu.
  record->SetShowPopupOnContext(false);
  const PointerResult unhandled = driver.RightClick(0, {200, 300});
  EXPECT_FALSE(unhandled.handled);
  EXPECT_TRUE(unhandled.hostReacted);
  EXPECT_EQ(driver.HostContextMenus(), 1);
  EXPECT_FALSE(driver.Popup());
}

TEST_F(AddInTest, ViewEventsCarryTheViewWAndLWithSignedCoordinates) {
  ASSERT_EQ(driver.OpenDocument(U16(CopyCorpus("qpdf-rotated.pdf"))), com::S_OK);
  driver.SetZoom(1.5);
  driver.Click(0, {100, 200});
  // A click is a mouse notification (2) followed by the click (3).
  const auto& events = record->Events();
  ASSERT_GE(events.size(), 2u);
  const auto& mouse = events[events.size() - 2];
  const auto& click = events.back();
  EXPECT_EQ(mouse.id, external::kHostEventMouse);
  EXPECT_EQ(click.id, external::kHostEventClick);
  const std::vector<com::VARTYPE> layout{com::VT_DISPATCH, com::VT_UI8, com::VT_UI8, com::VT_BYREF | com::VT_BOOL};
  EXPECT_EQ(click.types, layout);
  EXPECT_TRUE(click.viewIsPageView);
  EXPECT_EQ(click.w, kMouseLeftButton);
  // The add-in's PointToPage of (x, y) of L gives back the clicked point (within a pixel's worth).
  EXPECT_EQ(click.pageIndex, 0);
  EXPECT_NEAR(click.pageX, 100, 1.0 / 1.5);
  EXPECT_NEAR(click.pageY, 200, 1.0 / 1.5);
  // Scrolled so that the page starts left of and above the view: negative pixels, sign-extended.
  driver.SetScroll({200, 250});
  const PointerResult result = driver.CursorAt(0, {20, 30});
  ASSERT_LT(result.pixel.x, 0);
  ASSERT_LT(result.pixel.y, 0);
  EXPECT_EQ(LastEvent().id, external::kHostEventSetCursor);
  EXPECT_EQ(LastEvent().types, layout);
  EXPECT_EQ(external::HostEventX(LastEvent().l), static_cast<int>(result.pixel.x));
  EXPECT_EQ(external::HostEventY(LastEvent().l), static_cast<int>(result.pixel.y));
  EXPECT_EQ(LastEvent().l >> 32, 0u);
  EXPECT_EQ(LastEvent().pageIndex, 0);
  EXPECT_NEAR(LastEvent().pageX, 20, 1.0);
  EXPECT_NEAR(LastEvent().pageY, 30, 1.0);
}

TEST_F(AddInTest, PointToPageInTheAddInMatchesTheHostFrameOnRotatedViews) {
  ASSERT_EQ(driver.OpenDocument(U16(CopyCorpus("qpdf-rotated.pdf"))), com::S_OK);
  // Page 2 of qpdf-rotated.pdf is shown after page 1; view rotation and zoom change where it appears.
  for (const int rotation : {0, 90, 180, 270}) {
    for (const double zoom : {0.5, 2.0}) {
      SCOPED_TRACE(::testing::Message() << rotation << " " << zoom);
      driver.SetViewRotation(rotation);
      driver.SetZoom(zoom);
      driver.SetScroll({0, 0});
      driver.Click(1, {300, 150});
      EXPECT_EQ(LastEvent().pageIndex, 1);
      EXPECT_NEAR(LastEvent().pageX, 300, 1.0 / zoom);
      EXPECT_NEAR(LastEvent().pageY, 150, 1.0 / zoom);
    }
  }
}

TEST_F(AddInTest, HandledStopsTheHostsOwnReaction) {
  const auto path = CopyCorpus("qpdf-minimal.pdf");
  ASSERT_EQ(driver.OpenDocument(U16(path)), com::S_OK);
  // An annotation to click on.
  const auto core = driver.Host().ActiveDocument()->Core();
  ComPtr<external::IHostPages> pages;
  driver.Host().ActiveDocument()->get_Pages(pages.Out());
  ComPtr<external::IHostPage> page;
  pages->Item(0, page.Out());
  ComPtr<external::IHostAnnotations> annotations;
  page->get_Annotations(annotations.Out());
  ComPtr<external::IHostAnnotation> annotation;
  annotations->Add(external::kHostAnnotationImage, annotation.Out());
  annotation->SetRect(100, 100, 200, 200);
  record->SetHandledAnswer(external::kHostEventClick, com::VARIANT_TRUE);
  PointerResult result = driver.Click(0, {150, 150});
  EXPECT_TRUE(result.handled);
  EXPECT_FALSE(core->selected.has_value());
  record->SetHandledAnswer(external::kHostEventClick, com::VARIANT_FALSE);
  result = driver.Click(0, {150, 150});
  EXPECT_TRUE(result.hostReacted);
  EXPECT_TRUE(core->selected.has_value());
  // A click beside the annotation clears the selection; a click off the pages reaches the add-in too.
  driver.Click(0, {20, 20});
  EXPECT_FALSE(core->selected.has_value());
  result = driver.ClickPixel({2, 2});
  EXPECT_FALSE(result.onPage);
  EXPECT_EQ(LastEvent().pageIndex, -1);
}

TEST_F(AddInTest, PaneControlIsCreatedByProgIdAndPlayedByTheDriver) {
  const auto pane = driver.Host().Pane(testaddin::kPaneName);
  ASSERT_TRUE(pane);
  EXPECT_EQ(pane->ProgId(), testaddin::kPaneProgId);
  com::VARIANT_BOOL visible = -1;
  pane->get_Visible(&visible);
  EXPECT_EQ(visible, com::VARIANT_FALSE);
  // The control's window lives in the pane's window, sized by the host.
  ui::Window* window = driver.PaneWindow(testaddin::kPaneName);
  ASSERT_TRUE(window);
  EXPECT_EQ(window->Parent(), pane->Window());
  const auto paneRecord = PaneRecord();
  ASSERT_TRUE(paneRecord);
  EXPECT_EQ(paneRecord->SizeCount(), 1);
  // The add-in finds the pane by name rather than adding it twice.
  ComPtr<external::IHostPanes> panes;
  driver.Host().Application()->get_Panes(panes.Out());
  ComPtr<external::IHostPane> byName;
  ASSERT_EQ(panes->Item(*com::Variant(testaddin::kPaneName).Get(), byName.Out()), com::S_OK);
  EXPECT_TRUE(com::IsSameObject(byName.Get(), static_cast<external::IHostPane*>(pane.Get())));
  ASSERT_TRUE(driver.FocusPane(testaddin::kPaneName));
  EXPECT_EQ(paneRecord->FocusCount(), 1);
  pane->get_Visible(&visible);
  EXPECT_EQ(visible, com::VARIANT_TRUE);
  EXPECT_TRUE(pane->Window()->IsVisible());
  ASSERT_TRUE(driver.PressPaneButton(testaddin::kPaneName, testaddin::kPaneRunButton));
  ASSERT_TRUE(driver.PressPaneButton(testaddin::kPaneName, testaddin::kPaneAddButton));
  EXPECT_EQ(paneRecord->Commands(), (std::vector<int>{testaddin::kPaneRunButton, testaddin::kPaneAddButton}));
  ASSERT_TRUE(driver.DoubleClickRow(testaddin::kPaneName, 1));
  EXPECT_EQ(paneRecord->OpenedRows(), (std::vector<std::u16string>{u"b.pdf"}));
  EXPECT_FALSE(driver.DoubleClickRow(testaddin::kPaneName, 5));
  Bstr caption(u"Renamed");
  pane->put_Caption(caption.Get());
  EXPECT_EQ(pane->Window()->Text(), u"Renamed");
}

TEST_F(AddInTest, PaneWithUnknownProgIdIsNotCreated) {
  ComPtr<external::IHostPanes> panes;
  driver.Host().Application()->get_Panes(panes.Out());
  ComPtr<external::IHostPane> pane;
  EXPECT_EQ(panes->Add(Bstr(u"Other").Get(), Bstr(u"Other").Get(), Bstr(u"No.Such.Control").Get(),
                       external::kHostPanePlacementRight, pane.Out()),
            com::CO_E_CLASSSTRING);
  EXPECT_FALSE(pane);
  ComPtr<external::IHostPane> byName;
  EXPECT_EQ(panes->Item(*com::Variant(u"Other").Get(), byName.Out()), com::S_FALSE);
  // A class that is not a pane control (no window to give) is refused too.
  EXPECT_EQ(panes->Add(Bstr(u"Other").Get(), Bstr(u"Other").Get(), Bstr(testaddin::kAddInProgId).Get(),
                       external::kHostPanePlacementRight, pane.Out()),
            com::E_NOINTERFACE);
}

TEST_F(AddInTest, ObjectsKeptPastShutdownRefuseWork) {
  ASSERT_EQ(driver.OpenDocument(U16(CopyCorpus("qpdf-minimal.pdf"))), com::S_OK);
  ComPtr<external::IHostPanes> panes;
  driver.Host().Application()->get_Panes(panes.Out());
  ComPtr<external::IHostPane> pane;
  ASSERT_EQ(panes->Item(*com::Variant(testaddin::kPaneName).Get(), pane.Out()), com::S_OK);
  ComPtr<external::IHostDocuments> documents;
  driver.Host().Application()->get_Documents(documents.Out());
  ComPtr<external::IHostDocument> document;
  documents->get_ActiveDocument(document.Out());
  ComPtr<external::IHostPages> pages;
  document->get_Pages(pages.Out());
  driver.Shutdown();
  // The pane's window and the engine document are gone; the objects say so instead of touching them.
  EXPECT_EQ(pane->put_Visible(com::VARIANT_TRUE), com::E_UNEXPECTED);
  ComPtr<external::IHostDocument> active;
  EXPECT_EQ(documents->get_ActiveDocument(active.Out()), com::E_UNEXPECTED);
  ComPtr<external::IHostPage> page;
  EXPECT_EQ(pages->Item(0, page.Out()), com::E_UNEXPECTED);
  EXPECT_EQ(document->Save(), com::E_UNEXPECTED);
}

class AddInSettingsTest : public HostTest {};

TEST_F(AddInSettingsTest, AddInsThatDoNotLoadAreRecordedAndSkipped) {
  RegisterTestModule();
  HostDriver driver;
  ASSERT_EQ(driver.Start(SettingsWith({u"No.Such.AddIn", testaddin::kPaneProgId, testaddin::kAddInProgId}, 1033)),
            com::S_OK);
  const auto& addIns = driver.Host().AddIns();
  ASSERT_EQ(addIns.size(), 3u);
  EXPECT_EQ(addIns[0].result, com::CO_E_CLASSSTRING);
  // The pane control is no add-in: it does not answer QPXExtensibility.
  EXPECT_EQ(addIns[1].result, com::E_NOINTERFACE);
  EXPECT_EQ(addIns[2].result, com::S_OK);
  EXPECT_FALSE(addIns[0].addIn);
  ComPtr<ITestAddInRecord> record;
  ASSERT_EQ(addIns[2].addIn.As(record), com::S_OK);
  EXPECT_EQ(record->LanguageId(), 1033);
}

TEST_F(AddInSettingsTest, SettingsFileIsReadLeniently) {
  const auto path = Dir() / "settings.conf";
  sealrun::testing::WriteFileBytes(path, "\xEF\xBB\xBF# add-ins\r\nAddIn = First.One\r\nbroken line\r\n"
                                         "LanguageId=abc\r\naddin=Second.One\r\nUnknown=1\r\n");
  const HostSettings settings = ReadHostSettings(path);
  EXPECT_EQ(settings.addIns, (std::vector<std::u16string>{u"First.One", u"Second.One"}));
  EXPECT_EQ(settings.languageId, 2052);
  EXPECT_TRUE(ReadHostSettings(Dir() / "absent.conf").addIns.empty());
  // Without an override the file lives under the application-data folder.
  const sealrun::testing::ScopedEnv noOverride("SEALRUN_HOST_SETTINGS", std::nullopt);
  EXPECT_EQ(DefaultHostSettingsPath(), Dir() / "appdata" / "QuoralPDF" / "host.conf");
}

}  // namespace
}  // namespace sealrun::platform::host::testing
