// Result texts, the results button by mode, the exported log's exact bytes, and the run's hand-over to
// the dialog of its mode.
#include <gtest/gtest.h>

#include "workbench/AddinState.h"
#include "platform/fs/Paths.h"
#include "platform/text/CodePage.h"
#include "platform/ui/HeadlessBackend.h"
#include "tests/testsupport/TempDir.h"
#include "workbench/BatchPaneWindow.h"
#include "workbench/ResultLog.h"
#include "workbench/RunDialogs.h"

namespace sealrun::workbench {
namespace {

namespace ui = platform::ui;

class ResultLogTest : public ::testing::Test {
 protected:
  ResultLogTest() : list_(1) {
    auto backend = std::make_unique<ui::HeadlessBackend>();
    backend_ = backend.get();
    scoped_ = std::make_unique<ui::ScopedBackend>(std::move(backend));
    platform::text::SetAnsiCodePage(936);
    for (const auto& column : {u"文件名称", u"路径", u"备注"}) list_.InsertColumn(99, {column, 100});
  }
  ~ResultLogTest() override {
    workbench::State() = workbench::AddinState{};
    workbench::FailedItemList().clear();
    for (const auto mode : {workbench::PaneMode::Sign, workbench::PaneMode::Verify, workbench::PaneMode::Remove})
      RegisterRunDialog(mode, nullptr);
  }
  void AddRow(std::u16string name, std::u16string path, std::u16string remark) {
    const int row = list_.InsertRow(list_.RowCount(), std::move(name));
    list_.SetItemText(row, kPathColumn, std::move(path));
    list_.SetItemText(row, kRemarkColumn, std::move(remark));
  }

  sealrun::testing::TempDir temp_;
  ui::HeadlessBackend* backend_;
  std::unique_ptr<ui::ScopedBackend> scoped_;
  ui::ListView list_;
};

TEST_F(ResultLogTest, SummaryTexts) {
  EXPECT_EQ(SigningSummary(5, 2, 3456), u"共有文档：5\r\n签章成功：3\r\n签章失败：2\r\n签章耗时：3.46秒\r\n");
  EXPECT_EQ(SigningSummary(0, 0, 0), u"共有文档：0\r\n签章成功：0\r\n签章失败：0\r\n签章耗时：0.00秒\r\n");
  EXPECT_EQ(RemovalSummary(4, 1), u"批量撤章结束\r\n共有文档：4份\r\n撤章失败：1份\r\n撤章成功：3份\r\n");
  EXPECT_EQ(VerificationSummary(10, 3),
            u"签章验证结束\r\n共有文档：10份\r\n无效印章文档：3份\r\n有效印章文档：7份\r\n");
}

TEST_F(ResultLogTest, ExportWritesTheRowsInTheAnsiCodePageAndReplacesAnOldFile) {
  AddRow(u"A.pdf", u"D:\\in\\A.pdf", u"R");
  AddRow(u"合同.pdf", u"/in/合同😀.pdf", u"");
  const auto target = temp_ / "log.txt";
  sealrun::testing::WriteFileBytes(target, std::string(5000, 'x'));
  backend_->QueueSaveFileAnswer(platform::fs::PathToUtf16(target));
  EXPECT_EQ(ExportLog(list_), ExportResult::Written);

  // "合同" in GBK is BA CF CD AC; the emoji has no GBK form and becomes "?".
  const std::string expected = "A.pdf D:\\in\\A.pdf R;\r\n\xBA\xCF\xCD\xAC.pdf /in/\xBA\xCF\xCD\xAC?.pdf ;\r\n";
  EXPECT_EQ(sealrun::testing::ReadFileBytes(target), expected);
  const auto& request = backend_->SaveFileRequests().back();
  EXPECT_EQ(request.defaultExtension, u"txt");
  EXPECT_FALSE(request.promptOverwrite);
  ASSERT_EQ(request.filters.size(), 1u);
  EXPECT_EQ(request.filters[0].description, u"Txt Files(*.txt)");
  EXPECT_TRUE(backend_->MessageBoxes().empty());

  backend_->QueueSaveFileAnswer(std::nullopt);
  EXPECT_EQ(ExportLog(list_), ExportResult::Cancelled);

  // Saved through a symbolic link: the link stays and the file it names gets the log.
  const auto link = temp_ / "latest-log.txt";
  std::filesystem::create_symlink(target, link);
  sealrun::testing::WriteFileBytes(target, "old");
  backend_->QueueSaveFileAnswer(platform::fs::PathToUtf16(link));
  EXPECT_EQ(ExportLog(list_), ExportResult::Written);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(sealrun::testing::ReadFileBytes(target), expected);
}

TEST_F(ResultLogTest, NoExportWithoutARemarkInTheFirstRow) {
  AddRow(u"A.pdf", u"/a.pdf", u"");
  AddRow(u"B.pdf", u"/b.pdf", u"验证通过");
  EXPECT_EQ(ExportLog(list_), ExportResult::NoResults);
  ASSERT_EQ(backend_->MessageBoxes().size(), 1u);
  EXPECT_EQ(backend_->MessageBoxes()[0].text, u"  暂无验章结果数据,请确认是否已进行了签章验证！");
  EXPECT_EQ(backend_->MessageBoxes()[0].caption, u"提示");
  EXPECT_TRUE(backend_->SaveFileRequests().empty());
}

TEST_F(ResultLogTest, AnUnwritableTargetIsReportedAndNothingIsLeftBehind) {
  AddRow(u"A.pdf", u"/a.pdf", u"R");
  const auto target = temp_ / "missing-folder" / "log.txt";
  backend_->QueueSaveFileAnswer(platform::fs::PathToUtf16(target));
  EXPECT_EQ(ExportLog(list_), ExportResult::WriteFailed);
  EXPECT_FALSE(std::filesystem::exists(target));
  ASSERT_EQ(backend_->MessageBoxes().size(), 1u);
  EXPECT_EQ(backend_->MessageBoxes()[0].style, ui::kMbIconError);
}

TEST_F(ResultLogTest, ResultsShowTheSummaryBySignOrRemoveMode) {
  workbench::State().resultSummary = RemovalSummary(2, 0);
  ShowResults(workbench::PaneMode::Remove, list_);
  ShowResults(workbench::PaneMode::Sign, list_);
  workbench::State().resultSummary.clear();
  ShowResults(workbench::PaneMode::Sign, list_);
  ASSERT_EQ(backend_->MessageBoxes().size(), 3u);
  EXPECT_EQ(backend_->MessageBoxes()[0].text, RemovalSummary(2, 0));
  EXPECT_EQ(backend_->MessageBoxes()[1].text, RemovalSummary(2, 0)) << "the summary survives a mode switch";
  EXPECT_EQ(backend_->MessageBoxes()[2].text, u"暂无签章结果数据,请确认是否签章！");
}

TEST_F(ResultLogTest, TheRunHandsTheRowsToTheDialogOfItsModeAndMarksFailedRows) {
  BatchPaneWindow pane;
  ui::SendMessage(pane.Handle(), ui::kWmCreate);
  ui::ListView& rows = *pane.FileList();
  for (const auto* path : {u"/in/a.pdf", u"/in/b.pdf", u"/in/c.pdf"}) {
    const int row = rows.InsertRow(rows.RowCount(), BatchPaneWindow::FileNameOfPath(path));
    rows.SetItemText(row, kPathColumn, path);
  }
  rows.SetItemState(0, ui::kLvisDropHilited, ui::kLvisDropHilited);  // failed in an earlier run
  workbench::AddinState& state = workbench::State();
  state.paneMode = workbench::PaneMode::Sign;
  state.searchText = u"甲方";
  state.pageSetting = 0;

  EXPECT_EQ(pane.Run(), RunOutcome::NoDialog) << "nothing plugged in: nothing opens, nothing is marked";
  EXPECT_TRUE(backend_->MessageBoxes().empty());
  EXPECT_EQ(state.fileList, (std::vector<std::u16string>{u"/in/a.pdf", u"/in/b.pdf", u"/in/c.pdf"}));

  std::vector<std::u16string> seen;
  RegisterRunDialog(workbench::PaneMode::Sign, [&](RunDialogContext& context) {
    seen = workbench::State().fileList;
    EXPECT_EQ(&context.list, &rows);
    workbench::FailedItemList() = {2};
    workbench::State().resultSummary = SigningSummary(3, 1, 1500);
    return ui::kIdOk;
  });
  EXPECT_EQ(pane.Run(), RunOutcome::DialogEnded);
  EXPECT_EQ(seen.size(), 3u);
  ASSERT_EQ(backend_->MessageBoxes().size(), 1u);
  EXPECT_EQ(backend_->MessageBoxes()[0].caption, u"统计");
  EXPECT_EQ(backend_->MessageBoxes()[0].text, SigningSummary(3, 1, 1500));
  EXPECT_TRUE(rows.ItemState(2, ui::kLvisDropHilited));
  EXPECT_FALSE(rows.ItemState(1, ui::kLvisDropHilited));
  EXPECT_TRUE(rows.ItemState(0, ui::kLvisDropHilited)) << "earlier highlights stay";
}

}  // namespace
}  // namespace sealrun::workbench
