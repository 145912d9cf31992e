#include "apps/sealrun/TemplateAccess.h"

#include <charconv>

#include "addin/AddinState.h"
#include "addin/HostCalls.h"
#include "addin/PreStamp.h"
#include "apps/sealrun/TerminalText.h"

namespace sealrun::apps {

namespace com = platform::com;

namespace {

// Lends the host's application object to the add-in code of this program for one call.
class HostLoan {
 public:
  explicit HostLoan(platform::host::HostDriver& driver) {
    const auto& application = driver.Host().Application();
    if (application) application->QueryInterface(com::IID_IDispatch, addin::State().host.OutVoid());
  }
  ~HostLoan() { addin::State().host.Reset(); }
  HostLoan(const HostLoan&) = delete;
  HostLoan& operator=(const HostLoan&) = delete;
};

template <typename T>
std::string Number(T value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace

std::optional<std::vector<addin::SealTemplate>> ReadTemplates(platform::host::HostDriver& driver) {
  const HostLoan loan(driver);
  if (addin::ReadBackTemplates() < 0) return std::nullopt;
  return std::move(addin::State().templates);
}

int ActivePageCount(platform::host::HostDriver& driver) {
  const HostLoan loan(driver);
  const auto document = addin::ActiveDocument();
  com::ComPtr<external::IHostPages> pages;
  com::LONG count = 0;
  if (!document || com::FAILED(document->get_Pages(pages.Out())) || !pages || com::FAILED(pages->get_Count(&count))) return 0;
  return static_cast<int>(count);
}

std::string FormatTemplate(const addin::SealTemplate& record) {
  std::string line = Number(record.left) + '\t' + Number(record.top) + '\t' + Number(record.right) + '\t' +
                     Number(record.bottom) + '\t' + Number(record.pageIndex) + '\t' + Number(record.pageRotation) +
                     '\t' + TerminalSafe(record.name) + '\t' + Number(record.imageRotation) + '\t' +
                     Number(record.pageWidth) + '\t' + Number(record.pageHeight);
  for (const auto& offset : record.cornerOffsets)
    line += '\t' + Number(offset.horizontal) + '\t' + Number(offset.vertical);
  return line;
}

}  // namespace sealrun::apps
