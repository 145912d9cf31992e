#include "seal/WriteSectionKey.h"

#include <filesystem>
#include <new>
#include <random>
#include <string>
#include <system_error>

#include "config/ConfigPaths.h"
#include "platform/fs/Files.h"
#include "platform/fs/Paths.h"
#include "seal/SealTrace.h"
#include "support/XmlDocument.h"

namespace sealrun::seal {
namespace {

// The document's bytes as SaveFile writes them, through a private file beside the target, so the target
// itself is only ever replaced whole: a crash while saving must not leave the user's settings half written.
bool SaveInPlace(support::XmlDocument& document, const std::filesystem::path& path) {
  std::random_device random;
  std::filesystem::path scratch = path;
  scratch += "." + std::to_string(random()) + std::to_string(random()) + ".tmp";
  const bool saved = document.SaveFile(scratch);
  const auto bytes = saved ? platform::fs::ReadFile(scratch) : std::nullopt;
  std::error_code ignored;
  std::filesystem::remove(scratch, ignored);
  return bytes && platform::fs::ReplaceFileAtomically(path, *bytes);
}

}  // namespace

bool WriteSectionKey(std::u16string_view fileName, std::u16string_view section, std::u16string_view key,
                     std::u16string_view value, std::u16string_view folder) {
  try {
    const auto path = platform::fs::PathFromUtf16(config::ResolvePersonalConfigPath(fileName, folder));
    support::XmlDocument document;
    if (!document.LoadFile(path)) {
      SealTrace(u"设置文件无法读取 " + std::u16string(fileName));
      return false;
    }
    document.ResetPosition();
    bool changed = false;
    if (document.FindSibling(u"Brasmoor") && document.EnterElement()) {
      if (document.FindSibling(section) && document.EnterElement()) {
        // Only a changed value is written: saving an untouched file could only lose what its encoding
        // cannot hold.
        if (document.FindSibling(key) && document.Content() != support::XmlEscape(value, support::XmlContentMode::Text))
          changed = document.ReplaceContent(value, support::XmlContentMode::Text);
        document.LeaveElement();
      }
      document.LeaveElement();
    }
    return !changed || SaveInPlace(document, path);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace sealrun::seal
