// The batch pane inside the host: adding, clearing, opening and refilling rows, and what the run command
// checks before a dialog opens.
#include "platform/com/InvokeByName.h"
#include "platform/ui/ListView.h"
#include "tests/addin/HostFixture.h"
#include "workbench/BatchPaneWindow.h"

namespace sealrun::addin::testing {
namespace {

// The signing dialog's first words when no seal key is inserted: the run got past the pane's checks.
constexpr char16_t kNoSealKey[] = u"没有找到印章，请确认钥匙盘是否插入/网络配置是否正确!";

class Pane : public HostedAddin {
 protected:
  void SetUp() override {
    HostedAddin::SetUp();
    if (HasFatalFailure()) return;
    driver_.ShowPane(u"Sealrun", true);
  }
  ui::ListView& List() {
    auto* list = driver_.PaneWindow(u"Sealrun")->ChildAs<ui::ListView>(workbench::kFileListId);
    EXPECT_NE(list, nullptr);
    return *list;
  }
  std::vector<std::u16string> Column(int column) {
    std::vector<std::u16string> texts;
    for (int row = 0; row < List().RowCount(); ++row) texts.push_back(List().ItemText(row, column));
    return texts;
  }
  void AddFiles(std::u16string directory, std::vector<std::u16string> names) {
    backend_->QueueOpenFileAnswer(ui::OpenFileAnswer{std::move(directory), std::move(names)});
    ASSERT_TRUE(driver_.PressPaneButton(u"Sealrun", workbench::kAddFilesCommand));
  }
  void Put(std::u16string_view property, com::Variant value) {
    ASSERT_EQ(com::InvokeByName(AddinDispatch().Get(), property, com::DISPATCH_PROPERTYPUT, {value}, nullptr),
              com::S_OK);
  }
  std::u16string LastMessage() { return backend_->MessageBoxes().empty() ? u"" : backend_->MessageBoxes().back().text; }
};

TEST_F(Pane, NewFilesStandAboveTheRowsInSelectionOrderAndDuplicatesStay) {
  AddFiles(u"/in", {u"c.pdf"});
  AddFiles(u"/in/", {u"a.pdf", u"b.pdf"});
  EXPECT_EQ(Column(0), (std::vector<std::u16string>{u"a.pdf", u"b.pdf", u"c.pdf"}));
  EXPECT_EQ(Column(1), (std::vector<std::u16string>{u"/in/a.pdf", u"/in/b.pdf", u"/in/c.pdf"}));
  AddFiles(u"/in", {u"a.pdf"});
  EXPECT_EQ(List().RowCount(), 4);
  const auto& request = backend_->OpenFileRequests().back();
  EXPECT_TRUE(request.multiSelect);
  EXPECT_EQ(request.bufferUnits, 208000u);
  ASSERT_EQ(request.filters.size(), 1u);
  EXPECT_EQ(request.filters[0].description, u"PDF文件(*.pdf)");
  EXPECT_TRUE(driver_.PaneWindow(u"Sealrun")->IsEnabled()) << "enabled again after the dialog";

  backend_->QueueOpenFileAnswer(std::nullopt);  // Cancel changes nothing
  ASSERT_TRUE(driver_.PressPaneButton(u"Sealrun", workbench::kAddFilesCommand));
  EXPECT_EQ(List().RowCount(), 4);
}

TEST_F(Pane, ClearForgetsRowsListAndSummary) {
  AddFiles(u"/in", {u"a.pdf"});
  ASSERT_TRUE(driver_.PressPaneButton(u"Sealrun", workbench::kClearCommand));
  EXPECT_EQ(List().RowCount(), 0);
  ASSERT_TRUE(driver_.PressPaneButton(u"Sealrun", workbench::kResultsCommand));
  EXPECT_EQ(LastMessage(), u"暂无签章结果数据,请确认是否签章！");
  EXPECT_EQ(backend_->MessageBoxes().back().caption, u"统计");
  EXPECT_EQ(backend_->MessageBoxes().back().style, ui::kMbIconInformation);
}

TEST_F(Pane, FilesHandedOverByAutomationAppearWhenTheEmptyPaneGainsFocus) {
  Put(u"SigFiles", com::Variant(u"/docs/one.pdf;C:\\in\\two.pdf;"));
  EXPECT_EQ(List().RowCount(), 0) << "not before the focus";
  ASSERT_TRUE(driver_.FocusPane(u"Sealrun"));
  EXPECT_EQ(Column(0), (std::vector<std::u16string>{u"one.pdf", u"two.pdf", u""}));
  EXPECT_EQ(Column(1), (std::vector<std::u16string>{u"/docs/one.pdf", u"C:\\in\\two.pdf", u""}));
  Put(u"SigFiles", com::Variant(u"/docs/three.pdf"));
  ASSERT_TRUE(driver_.FocusPane(u"Sealrun"));
  EXPECT_EQ(List().RowCount(), 3) << "rows are refilled only when empty";
}

TEST_F(Pane, DoubleClickOpensTheRowInTheHost) {
  const auto path = Template("pdfjs-sizes.pdf", "open me.pdf");
  AddFiles(U16(path.parent_path()), {U16(path.filename())});
  ASSERT_TRUE(driver_.DoubleClickRow(u"Sealrun", 0));
  const auto active = driver_.Host().ActiveDocument();
  ASSERT_TRUE(active);
  com::Bstr name;
  ASSERT_EQ(active->get_FullName(name.Out()), com::S_OK);
  EXPECT_EQ(name.ToU16String(), U16(path));
}

TEST_F(Pane, TheRunChecksItsPreconditionsInOrder) {
  ASSERT_TRUE(driver_.PressPaneButton(u"Sealrun", workbench::kRunCommand));
  EXPECT_EQ(LastMessage(), u"请选择要批量操作的文件");
  EXPECT_EQ(backend_->MessageBoxes().back().caption, u"提示");

  AddFiles(u"/in", {u"a.pdf"});
  ASSERT_TRUE(driver_.PressPaneButton(u"Sealrun", workbench::kRunCommand));
  EXPECT_EQ(LastMessage(), u"请先打开模板文件！");

  const auto path = Template("pdfjs-sizes.pdf");
  ASSERT_EQ(driver_.OpenDocument(U16(path)), com::S_OK);
  ASSERT_TRUE(driver_.PressPaneButton(u"Sealrun", workbench::kRunCommand));
  EXPECT_EQ(LastMessage(), u"请先进行预盖章！");

  // With a pre-stamp the run goes on to the signing dialog, which finds no seal key here.
  driver_.RightClick(0, {100, 100});
  ASSERT_TRUE(driver_.ClickPopupItem(u"预盖印章"));
  ASSERT_TRUE(driver_.Click(0, {200, 200}).onPage);
  const size_t shown = backend_->MessageBoxes().size();
  ASSERT_TRUE(driver_.PressPaneButton(u"Sealrun", workbench::kRunCommand));
  ASSERT_EQ(backend_->MessageBoxes().size(), shown + 1);
  EXPECT_EQ(LastMessage(), kNoSealKey);
}

TEST_F(Pane, AKeywordPresetStartsTheRunWithoutATemplate) {
  AddFiles(u"/in", {u"a.pdf"});
  Put(u"SigText", com::Variant(u"甲方"));
  Put(u"SigPage", com::Variant(0));
  const size_t shown = backend_->MessageBoxes().size();
  ASSERT_TRUE(driver_.PressPaneButton(u"Sealrun", workbench::kRunCommand));
  ASSERT_EQ(backend_->MessageBoxes().size(), shown + 1) << "no template needed";
  EXPECT_EQ(LastMessage(), kNoSealKey);
}

}  // namespace
}  // namespace sealrun::addin::testing
