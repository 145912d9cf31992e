// Feeds arbitrary bytes to XmlDocument as UTF-8 text, as UTF-16 text and as a file, walks every element and
// edits one; an edit of a well-formed document must leave an index identical to a fresh parse.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/text/Utf.h"
#include "support/XmlDocument.h"
#include "support/XmlUtf8.h"

namespace {

using sealrun::support::XmlContentMode;
using sealrun::support::XmlDocument;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Visits elements depth first (bounded), returning to the top level after each subtree.
void Walk(XmlDocument& document) {
  document.ResetPosition();
  int steps = 0;
  int depth = 0;
  while (steps++ < 10000) {
    if (document.FindSibling(u"")) {
      Check(document.MainElement().has_value());
      (void)document.Attribute(u"a");
      if (document.EnterElement()) ++depth;
      continue;
    }
    if (depth == 0 || !document.LeaveElement()) break;
    --depth;
  }
}

void EditFirstLeaf(XmlDocument& document, XmlContentMode mode) {
  document.ResetPosition();
  while (document.FindSibling(u"")) {
    if (!document.ReplaceContent(u"<&>\"']]>]]", mode)) {
      if (!document.EnterElement()) return;
      continue;
    }
    if (!document.IsWellFormed()) return;
    const auto edited = *document.MainElement();
    XmlDocument fresh;
    Check(fresh.SetDocumentText(document.DocumentText()));
    Check(fresh.ElementCount() == document.ElementCount());
    // The same element sits at the same place after a reparse.
    fresh.ResetPosition();
    bool found = false;
    while (!found && fresh.FindSibling(u"")) {
      const auto span = *fresh.MainElement();
      if (span.offset == edited.offset) {
        Check(span.length == edited.length && span.startTagLength == edited.startTagLength &&
              span.endTagLength == edited.endTagLength);
        found = true;
      } else if (!fresh.EnterElement()) {
        break;
      }
    }
    Check(found);
    return;
  }
}

void Exercise(XmlDocument& document, std::u16string_view text, XmlContentMode mode) {
  const bool wellFormed = document.SetDocumentText(text);
  Check(wellFormed == document.IsWellFormed());
  // Entries stop once the result text is longer than 999 characters: none starts after that point (an
  // entry itself may be long, a tag name is recorded whole).
  const std::u16string& result = document.ResultText();
  Check(result.empty() || result.rfind(u'<') <= 999);
  Walk(document);
  EditFirstLeaf(document, mode);
  (void)XmlDocument::DeclaredEncoding(text.substr(0, 1024));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const auto mode = static_cast<XmlContentMode>(size % 3);
  // The fast UTF-8 reader agrees with the general converter wherever it answers.
  const auto fast = sealrun::support::DecodeValidUtf8(bytes);
  Check(fast.has_value() == sealrun::platform::text::IsValidUtf8(bytes));
  Check(!fast || *fast == sealrun::platform::text::Utf8ToUtf16(bytes));

  XmlDocument document;
  Exercise(document, sealrun::platform::text::Utf8ToUtf16(bytes), mode);

  std::u16string utf16(size / 2, u'\0');
  for (std::size_t i = 0; i < utf16.size(); ++i)
    utf16[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  Exercise(document, utf16, mode);

  // One scratch file per process, removed when the run ends.
  struct ScratchFile {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("sealrun-fuzz-xml-" + std::to_string(::getpid()) + ".xml");
    ~ScratchFile() {
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
    }
  };
  static const ScratchFile scratch;
  const std::filesystem::path& file = scratch.path;
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  const bool loaded = document.LoadFile(file);
  Check(!loaded || document.IsWellFormed());
  Walk(document);
  return 0;
}
