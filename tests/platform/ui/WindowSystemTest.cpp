#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "platform/ui/Backend.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Cursor.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/HeadlessBackend.h"
#include "platform/ui/ListView.h"
#include "platform/ui/TerminalBackend.h"
#include "platform/ui/Toolbar.h"

namespace sealrun::platform::ui {
namespace {

// A dialog in the shape of the product's: a list, a password edit, two radio modes and OK/Cancel.
class SampleDialog : public Dialog {
 public:
  SampleDialog() : Dialog(107, u"批量签章") {
    seals = AddChild(std::make_unique<ComboBox>(204));
    pin = AddChild(std::make_unique<Edit>(205, Edit::Kind::Password));
    byTemplate = AddChild(std::make_unique<RadioButton>(212, u"印模选择", 1));
    byText = AddChild(std::make_unique<RadioButton>(213, u"文字定位", 1));
    keyword = AddChild(std::make_unique<Edit>(210));
    AddChild(std::make_unique<Button>(kIdOk, u"确定"));
    AddChild(std::make_unique<Button>(kIdCancel, u"取消"));
  }
  ComboBox* seals;
  Edit* pin;
  RadioButton* byTemplate;
  RadioButton* byText;
  Edit* keyword;
  int selectionChanges = 0;

 protected:
  void OnInitDialog() override {
    seals->AddString(u"演示公章");
    seals->AddString(u"演示合同章");
    seals->SetCurrentSelection(0);
    byTemplate->Select();
    keyword->Enable(false);
  }
  void OnCommand(int id, int code) override {
    if (id == 204 && code == kCbnSelChange) ++selectionChanges;
    if (id == 213) keyword->Enable(true);
    if (id == kIdOk) {
      if (pin->Text() != u"123456") {
        MessageBox(this, u"密码错误，请重新输入!", u"提示", kMbIconInformation);
        return;  // the dialog stays open
      }
    }
    Dialog::OnCommand(id, code);
  }
};

TEST(Dialog, TheScriptedUserFillsControlsAndTheDialogEndsWithItsResult) {
  auto backend = std::make_unique<HeadlessBackend>();
  HeadlessBackend& user = *backend;
  ScopedBackend scoped(std::move(backend));
  Window owner(u"QuoralPDF");
  SetActiveWindow(&owner);
  SampleDialog dialog;
  bool ownerDisabled = false;
  user.OnDialog(107, [&](Dialog& running) {
    auto& sample = static_cast<SampleDialog&>(running);
    ownerDisabled = !owner.IsEnabled();
    EXPECT_FALSE(sample.keyword->Type(u"disabled"));  // refused while disabled
    EXPECT_TRUE(sample.seals->Choose(1));
    EXPECT_TRUE(sample.byText->Click());
    EXPECT_FALSE(sample.byTemplate->IsChecked());
    EXPECT_TRUE(sample.keyword->Type(u"甲方盖章"));
    sample.pin->Type(u"000000");
    running.ChildAs<Button>(kIdOk)->Click();  // wrong PIN: stays open
    EXPECT_TRUE(running.IsRunning());
    sample.pin->Type(u"123456");
    running.ChildAs<Button>(kIdOk)->Click();
  });
  EXPECT_EQ(dialog.DoModal(&owner), kIdOk);
  EXPECT_TRUE(ownerDisabled);
  EXPECT_TRUE(owner.IsEnabled());
  EXPECT_EQ(ActiveWindow(), &owner);
  EXPECT_EQ(dialog.selectionChanges, 1);
  EXPECT_EQ(dialog.seals->Text(), u"演示合同章");
  EXPECT_EQ(dialog.keyword->Text(), u"甲方盖章");
  ASSERT_EQ(user.MessageBoxes().size(), 1u);
  EXPECT_EQ(user.MessageBoxes()[0].owner, dialog.Handle());
  EXPECT_EQ(user.MessageBoxes()[0].caption, u"提示");
  EXPECT_EQ(user.DialogsRun(), std::vector<int>{107});
}

TEST(Dialog, WithoutAScriptOrWithTheCloseItemGreyedTheUserCancels) {
  ScopedBackend scoped(std::make_unique<HeadlessBackend>());
  SampleDialog unscripted;
  EXPECT_EQ(unscripted.DoModal(nullptr), kIdCancel);

  auto backend = std::make_unique<HeadlessBackend>();
  bool closeRefused = false;
  backend->OnDialog(107, [&](Dialog& running) {
    running.EnableCloseCommand(false);
    closeRefused = !running.Close();
    running.EnableCloseCommand(true);
    EXPECT_TRUE(running.Close());
  });
  ScopedBackend closing(std::move(backend));
  SampleDialog dialog;
  EXPECT_EQ(dialog.DoModal(nullptr), kIdCancel);
  EXPECT_TRUE(closeRefused);
}

class Recorder : public Window {
 public:
  Recorder() : Window(u"Recorder") {}
  LResult HandleMessage(uint32_t message, WParam wParam, LParam) override {
    received.push_back({message, wParam});
    return 7;
  }
  std::vector<std::pair<uint32_t, WParam>> received;
};

TEST(MessageQueue, DeliversAtMostOneMessageAndDropsThoseForWindowsThatAreGone) {
  while (PumpOneMessage()) {
  }
  Recorder target;
  auto doomed = std::make_unique<Recorder>();
  PostMessage(doomed->Handle(), kWmUser, 1);
  PostMessage(target.Handle(), kWmUser, 2);
  PostMessage(target.Handle(), kWmUser, 3);
  doomed.reset();
  EXPECT_TRUE(PumpOneMessage());  // the dead window's message is taken and dropped
  EXPECT_TRUE(target.received.empty());
  EXPECT_TRUE(PumpOneMessage());
  ASSERT_EQ(target.received.size(), 1u);
  EXPECT_EQ(target.received[0].second, 2u);
  EXPECT_EQ(PendingMessageCount(), 1u);
  EXPECT_TRUE(PumpOneMessage());
  EXPECT_FALSE(PumpOneMessage());
  EXPECT_EQ(SendMessage(target.Handle(), kWmUser), 7);
  EXPECT_EQ(SendMessage(0, kWmUser), 0);
}

TEST(ListView, RowsKeepInsertionOrderAndStatesAreMasked) {
  ListView list(1);
  list.InsertColumn(0, {u"文件名称", 100, ListView::Align::Center});
  list.InsertRow(0, u"c.pdf");
  list.InsertRow(0, u"a.pdf");
  list.InsertRow(1, u"b.pdf");
  list.InsertRow(99, u"d.pdf");
  ASSERT_EQ(list.RowCount(), 4);
  EXPECT_EQ(list.ItemText(0, 0), u"a.pdf");
  EXPECT_EQ(list.ItemText(1, 0), u"b.pdf");
  EXPECT_EQ(list.ItemText(3, 0), u"d.pdf");
  EXPECT_EQ(list.ItemText(0, 2), u"");
  EXPECT_EQ(list.ItemText(7, 0), u"");
  list.SetItemText(2, 2, u"印章总数:1");
  EXPECT_EQ(list.ItemText(2, 2), u"印章总数:1");
  list.SetItemState(2, kLvisDropHilited, kLvisDropHilited);
  list.SelectRow(1);
  list.SelectRow(3);
  EXPECT_EQ(list.ItemState(2, kLvisDropHilited), kLvisDropHilited);
  EXPECT_EQ(list.NextItem(0, kLvisSelected), 3);
  EXPECT_EQ(list.ItemState(1, kLvisSelected), 0u);
  list.DeleteAllRows();
  EXPECT_EQ(list.NextItem(0, kLvisSelected), -1);
}

class Pane : public Window {
 public:
  Pane() : Window(u"Pane") {
    toolbar = AddChild(std::make_unique<Toolbar>(0xE800));
    list = AddChild(std::make_unique<ListView>(1));
    toolbar->AddButton(32773, 0, u"添加文件");
    toolbar->AddButton(32775, 1, u"批量签章");
  }
  LResult HandleMessage(uint32_t message, WParam wParam, LParam lParam) override {
    if (message == kWmCommand) commands.push_back(CommandId(wParam));
    if (message == kWmNotify) notifications.push_back(reinterpret_cast<const NotifyHeader*>(lParam)->code);
    return 0;
  }
  Toolbar* toolbar;
  ListView* list;
  std::vector<int> commands;
  std::vector<int> notifications;
};

TEST(Toolbar, PressesReachTheParentOnlyWhenEnabled) {
  Pane pane;
  EXPECT_TRUE(pane.toolbar->Press(32775));
  pane.toolbar->EnableButton(32773, false);
  EXPECT_FALSE(pane.toolbar->Press(32773));
  EXPECT_FALSE(pane.toolbar->Press(1));
  EXPECT_EQ(pane.commands, std::vector<int>{32775});
  pane.toolbar->SetTooltip(32775, u"签章验证");
  EXPECT_EQ(pane.toolbar->Tooltip(32775), u"签章验证");
  pane.list->InsertRow(0, u"a.pdf");
  pane.list->DoubleClick();
  EXPECT_EQ(pane.notifications, std::vector<int>{kNmDblClk});
}

TEST(FileDialogs, AnswersAreScriptedAndASelectionLargerThanTheBufferIsRefused) {
  auto backend = std::make_unique<HeadlessBackend>();
  HeadlessBackend& user = *backend;
  ScopedBackend scoped(std::move(backend));
  OpenFileRequest request;
  request.multiSelect = true;
  request.filters = {{u"PDF文件(*.pdf)", u"*.pdf"}};
  request.bufferUnits = 20;
  user.QueueOpenFileAnswer(OpenFileAnswer{u"/in", {u"a.pdf", u"b.pdf"}});
  user.QueueOpenFileAnswer(OpenFileAnswer{u"/in", {u"a-long-name.pdf", u"b-long-name.pdf"}});
  user.QueueOpenFileAnswer(std::nullopt);
  const auto first = GetOpenFileName(request);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->fileNames.size(), 2u);
  EXPECT_FALSE(GetOpenFileName(request));  // does not fit 20 units
  EXPECT_FALSE(GetOpenFileName(request));  // cancelled
  EXPECT_FALSE(GetOpenFileName(request));  // nothing scripted: cancel
  EXPECT_EQ(user.OpenFileRequests().size(), 4u);
  EXPECT_EQ(user.OpenFileRequests()[0].filters[0].pattern, u"*.pdf");
  user.QueueSaveFileAnswer(u"/out/log.txt");
  EXPECT_EQ(GetSaveFileName({}), u"/out/log.txt");
}

TEST(Cursor, IsMadeFromThePictureWithTheKeyColourMaskedAndTheHotSpotInTheMiddle) {
  auto image = imaging::Image::Create(4, 2, 24);
  for (int x = 0; x < 4; ++x) image->SetPixel(x, 0, {255, 255, 255, 255});
  image->SetPixel(1, 1, {200, 0, 0, 255});
  const auto cursor = CreateCursorFromImage(*image, {255, 255, 255});
  EXPECT_EQ(cursor->hotSpotX, 2);
  EXPECT_EQ(cursor->hotSpotY, 1);
  EXPECT_TRUE(cursor->IsTransparent(0, 0));
  EXPECT_EQ(cursor->colour.PixelAt(0, 0), (imaging::Rgba{0, 0, 0, 255}));
  EXPECT_FALSE(cursor->IsTransparent(1, 1));
  EXPECT_EQ(cursor->colour.PixelAt(1, 1), (imaging::Rgba{200, 0, 0, 255}));
  SetCursor(cursor);
  EXPECT_EQ(CurrentCursor(), cursor);
}

TEST(TerminalBackend, PrintsMessageBoxesAndPlainProgressLines) {
  std::FILE* out = std::tmpfile();
  std::FILE* progress = std::tmpfile();
  {
    ScopedBackend scoped(std::make_unique<TerminalBackend>(out, progress));
    MessageBox(nullptr, u"共有文档：5\r\n签章成功：3\r\n", u"统计", kMbIconInformation);
    Window dialog(u"d");
    auto* bar = dialog.AddChild(std::make_unique<ProgressBar>(206));
    bar->SetRange(1, 4);
    for (int i = 1; i <= 4; ++i) bar->SetPosition(i);
  }
  auto slurp = [](std::FILE* file) {
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text.push_back(static_cast<char>(c));
    std::fclose(file);
    return text;
  };
  EXPECT_EQ(slurp(out), "[统计] 共有文档：5\n签章成功：3\n");
  const std::string lines = slurp(progress);
  EXPECT_NE(lines.find("progress: 4/4 (100%)"), std::string::npos) << lines;
}

}  // namespace
}  // namespace sealrun::platform::ui
