#include "verify/BatchTexts.h"

#include "platform/text/Utf.h"

namespace sealrun::verify {

namespace {

std::u16string Number(int value) { return platform::text::Widen(std::to_string(value)); }

}  // namespace

std::u16string RunHeader(RunKind kind, int total) {
  if (kind == RunKind::Verify) return u"签章验证......\r\n共有文档：" + Number(total) + u"份\r\n正在验证第:";
  return u"批量撤章......\r\n共有文档：" + Number(total) + u"份\r\n正在撤销第:";
}

std::u16string RunStatus(const std::u16string& header, int finished) { return header + Number(finished) + u"份"; }

std::u16string RunSummary(RunKind kind, int total, int failed) {
  if (kind == RunKind::Verify)
    return u"签章验证结束\r\n共有文档：" + Number(total) + u"份\r\n无效印章文档：" + Number(failed) +
           u"份\r\n有效印章文档：" + Number(total - failed) + u"份\r\n";
  return u"批量撤章结束\r\n共有文档：" + Number(total) + u"份\r\n撤章失败：" + Number(failed) + u"份\r\n撤章成功：" +
         Number(total - failed) + u"份\r\n";
}

std::u16string StoppedRunText(int done, int total) {
  return u"stopped on request after " + platform::text::Utf8ToUtf16(std::to_string(done)) + u" of " +
         platform::text::Utf8ToUtf16(std::to_string(total)) + u" files; the others were not touched";
}

}  // namespace sealrun::verify
