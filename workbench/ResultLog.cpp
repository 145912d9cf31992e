#include "workbench/ResultLog.h"

#include <cstdio>

#include "platform/fs/Files.h"
#include "platform/fs/Paths.h"
#include "platform/text/CodePage.h"
#include "platform/text/Utf.h"
#include "platform/ui/Backend.h"

namespace sealrun::workbench {

namespace ui = platform::ui;
using platform::text::Widen;

namespace {

std::u16string Number(int64_t value) { return Widen(std::to_string(value)); }

}  // namespace

std::u16string SigningSummary(int total, int failed, int64_t milliseconds) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.2f", static_cast<double>(milliseconds) / 1000.0);
  return u"共有文档：" + Number(total) + u"\r\n签章成功：" + Number(total - failed) + u"\r\n签章失败：" +
         Number(failed) + u"\r\n签章耗时：" + Widen(seconds) + u"秒\r\n";
}

std::u16string RemovalSummary(int total, int failed) {
  return u"批量撤章结束\r\n共有文档：" + Number(total) + u"份\r\n撤章失败：" + Number(failed) + u"份\r\n撤章成功：" +
         Number(total - failed) + u"份\r\n";
}

std::u16string VerificationSummary(int total, int failed) {
  return u"签章验证结束\r\n共有文档：" + Number(total) + u"份\r\n无效印章文档：" + Number(failed) +
         u"份\r\n有效印章文档：" + Number(total - failed) + u"份\r\n";
}

std::u16string ExportText(const ui::ListView& list) {
  std::u16string text;
  for (int row = 0; row < list.RowCount(); ++row)
    text += list.ItemText(row, kNameColumn) + u" " + list.ItemText(row, kPathColumn) + u" " +
            list.ItemText(row, kRemarkColumn) + u";\r\n";
  return text;
}

std::string ExportBytes(const ui::ListView& list) {
  return platform::text::EncodeTo(ExportText(list), platform::text::kCpAcp).text;
}

ExportResult ExportLog(const ui::ListView& list) {
  ui::Window* owner = ui::ActiveWindow();
  if (list.ItemText(0, kRemarkColumn).empty()) {
    ui::MessageBox(owner, kNoVerificationResults, kNoticeCaption, ui::kMbIconInformation);
    return ExportResult::NoResults;
  }
  const std::string bytes = ExportBytes(list);
  ui::SaveFileRequest request;
  request.owner = owner ? owner->Handle() : 0;
  request.filters = {{u"Txt Files(*.txt)", u"*.txt"}};
  request.defaultExtension = u"txt";
  request.promptOverwrite = false;
  const auto path = ui::GetSaveFileName(request);
  if (!path) return ExportResult::Cancelled;
  // Written beside and renamed over the old file, so a failed write never leaves a truncated log.
  if (!platform::fs::ReplaceFileAtomically(platform::fs::PathFromUtf16(*path), bytes)) {
    ui::MessageBox(owner, u"日志文件无法写入：" + *path, kNoticeCaption, ui::kMbIconError);
    return ExportResult::WriteFailed;
  }
  return ExportResult::Written;
}

void ShowResults(PaneMode mode, const ui::ListView& list) {
  if (mode == PaneMode::Verify) {
    ExportLog(list);
    return;
  }
  const std::u16string& summary = State().resultSummary;
  std::u16string text = summary;
  if (summary.empty()) text = mode == PaneMode::Sign ? kNoSigningResults : kNoRemovalResults;
  ui::MessageBox(ui::ActiveWindow(), std::move(text), kStatisticsCaption, ui::kMbIconInformation);
}

}  // namespace sealrun::workbench
