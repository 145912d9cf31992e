#pragma once
// The status and summary texts of the batch verify and remove runs.
#include <string>

namespace sealrun::verify {

enum class RunKind { Verify, Remove };

// "签章验证......\r\n共有文档：N份\r\n正在验证第:" (or the removal run's "批量撤章 ... 正在撤销第:").
std::u16string RunHeader(RunKind kind, int total);
// The header followed by the number of the file just finished and "份".
std::u16string RunStatus(const std::u16string& header, int finished);
// "签章验证结束 ..." / "批量撤章结束 ..." with the totals, failures and successes.
std::u16string RunSummary(RunKind kind, int total, int failed);
// What the user is told when a run stops on request after `done` of `total` files.
std::u16string StoppedRunText(int done, int total);

}  // namespace sealrun::verify
