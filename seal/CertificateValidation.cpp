#include "seal/CertificateValidation.h"

#include "platform/fs/KnownFolders.h"
#include "platform/fs/Paths.h"
#include "platform/ui/Backend.h"
#include "platform/ui/Messages.h"
#include "platform/ui/Window.h"
#include "seal/AutomationObject.h"
#include "seal/AutomationValues.h"
#include "seal/ComponentIds.h"
#include "seal/SealTrace.h"

namespace sealrun::seal {

using namespace platform::com;

std::filesystem::path ValidationFileFolder() {
  return platform::fs::ModuleDir(reinterpret_cast<const void*>(&ValidationFileFolder));
}

int32_t ValidateSignerCertificate(std::u16string_view provider) {
  SealTrace(u"开始通过Zizizirez验证证书");
  int32_t code = kValidationNotAnswered;
  {
    const AutomationObject library = AutomationObject::Create(kCertLibraryClsid);
    if (library.IsValid()) {
      const std::filesystem::path folder = ValidationFileFolder();
      const std::u16string rootPath = platform::fs::PathToUtf16(folder / platform::fs::PathFromUtf16(kRootCertificateFile));
      const std::u16string crlPath = platform::fs::PathToUtf16(folder / platform::fs::PathFromUtf16(kRevocationListFile));
      if (!provider.empty()) library.Put(u"CSPName", Variant(provider));
      library.Call(u"GetContainer");
      Variant certificate;
      library.Get(u"CertContext", certificate);
      Variant answer(kValidationNotAnswered);
      const HRESULT hr = library.Call(u"VerifyCertValidity2",
                                      {Variant(TextOf(certificate)), Variant(rootPath), Variant(crlPath),
                                       Variant(int32_t{1})},
                                      answer);
      if (SUCCEEDED(hr)) code = NumberOf(answer).value_or(kValidationUnreadable);
    }
  }
  SealTrace(u"结束通过Zizizirez验证证书");
  return code;
}

bool ValidationLetsRunStart(int32_t code) { return code == 0 || code == kValidationNotAnswered; }

std::optional<std::u16string> ValidationMessage(int32_t code) {
  switch (code) {
    case 1: return u"VRL272_验证签章人证书失败，签章人证书已过期或未生效！";
    case 2: return u"VRL274 验证签章人证书失败，签章人证书根证书验证未通过!";
    case 3: return u"VRL270_验证签章人证书失败，签章人证书已被吊销！";
    case 4: return u"VRL276 验证签章人证书失败，签章人证书根证书安装未成功!";
    case 5: return u"VRL266_验证签章人证书失败，未检测到签章人证书吊销列表！";
    case 6: return u"VRL260_验证签章人证书失败，未检测到签章人证书！";
    case 7: return u"VRL262_验证签章人根证书失败，未检测到签章人根证书！";
    case 8: return u"VRL264_验证签章人根证书失败，签章人证书与该证书的根证书不匹配！";
    case 9: return u"VRL268_验证签章人证书失败，签章人证书与该证书吊销列表不匹配！";
    default: return std::nullopt;
  }
}

void ShowValidationMessage(int32_t code) {
  if (const auto text = ValidationMessage(code))
    platform::ui::MessageBox(platform::ui::ActiveWindow(), *text, u"提示", platform::ui::kMbIconError);
}

}  // namespace sealrun::seal
