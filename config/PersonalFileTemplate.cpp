#include "config/PersonalFileTemplate.h"

#include <optional>
#include <string>

#include "platform/fs/Files.h"
#include "platform/fs/Paths.h"
#include "platform/ui/Backend.h"
#include "support/Trace.h"

namespace sealrun::config {

const std::string_view kPersonalFileTemplate =
    "\xEF\xBB\xBF"
    "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"
    "<Brasmoor>\r\n"
    "\t<QuoralPDFXML>\r\n"
    "\t<Enabled>0</Enabled>\r\n"
    "\t<FontName>Batang</FontName>\r\n"
    "\t<FontSize>20</FontSize>\r\n"
    "\t<FontColor>#000000</FontColor>\r\n"
    "\t<PostitonLefe>0</PostitonLefe>\r\n"
    "\t<PostitonTop>0</PostitonTop>\r\n"
    "\t<DateTimeIndex>1</DateTimeIndex>\r\n"
    "\t<bAutoZoom>0</bAutoZoom>\r\n"
    "</QuoralPDFXML>\r\n"
    "</Brasmoor>\r\n";

bool WritePersonalFileTemplate(const std::filesystem::path& path) {
  std::error_code error;
  std::optional<std::filesystem::path> kept;
  if (std::filesystem::exists(path, error) && std::filesystem::file_size(path, error) > 0 && !error) {
    auto backup = path;
    backup += ".bad";
    std::filesystem::rename(path, backup, error);
    if (error) return false;
    kept = backup;
  }
  if (!platform::fs::ReplaceFileAtomically(path, kPersonalFileTemplate)) return false;
  if (kept) {
    // The user's settings no longer apply: say so once, and where they went.
    const std::u16string notice = u"the settings file " + platform::fs::PathToUtf16(path) +
                                  u" could not be read; it now holds its default content, and the unreadable file "
                                  u"is kept as " + platform::fs::PathToUtf16(*kept);
    support::Trace(notice);
    platform::ui::Notify(notice);
  }
  return true;
}

}  // namespace sealrun::config
