#pragma once
// The results of a batch run as the user reads them: the summary texts, the results button of the pane
// by mode, and the verification log exported as text in the ANSI code page.
#include <cstdint>
#include <filesystem>
#include <string>

#include "workbench/AddinState.h"
#include "platform/ui/ListView.h"

namespace sealrun::workbench {

// Columns of the pane's file list.
inline constexpr int kNameColumn = 0;
inline constexpr int kPathColumn = 1;
inline constexpr int kRemarkColumn = 2;

inline constexpr char16_t kStatisticsCaption[] = u"统计";
inline constexpr char16_t kNoticeCaption[] = u"提示";
inline constexpr char16_t kNoSigningResults[] = u"暂无签章结果数据,请确认是否签章！";
inline constexpr char16_t kNoRemovalResults[] = u"暂无撤章结果数据,请确认是否签章！";
inline constexpr char16_t kNoVerificationResults[] = u"  暂无验章结果数据,请确认是否已进行了签章验证！";

// Summary of a signing run of `total` documents with `failed` failures lasting `milliseconds`.
std::u16string SigningSummary(int total, int failed, int64_t milliseconds);
std::u16string RemovalSummary(int total, int failed);
std::u16string VerificationSummary(int total, int failed);

// The log text: one line per row, "name path remark;" and CR LF.
std::u16string ExportText(const platform::ui::ListView& list);
// The log as written: the text in the ANSI code page, unmappable characters replaced, no byte-order mark.
std::string ExportBytes(const platform::ui::ListView& list);

enum class ExportResult { Written, NoResults, Cancelled, WriteFailed };
// Asks for a file and writes the log (Verify mode of the results button).
ExportResult ExportLog(const platform::ui::ListView& list);

// The pane's results button for the current pane mode.
void ShowResults(PaneMode mode, const platform::ui::ListView& list);

}  // namespace sealrun::workbench
