#pragma once
// A small in-memory XML document: the whole text as UTF-16 plus an index of element positions, edited in
// place. Used to change one value of a configuration file and save it in the encoding it was read in.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "support/XmlElementRecords.h"

namespace sealrun::support {

// How ReplaceContent writes its text.
enum class XmlContentMode {
  Text,       // "&", "<", ">" escaped
  Attribute,  // as Text, and both quote characters escaped
  CData,      // one or more CDATA sections
};

// The byte order mark seen by the last LoadFile; SaveFile writes the same one.
enum class XmlByteOrderMark { None, Utf8, Utf16Le, Utf16Be, Utf32Le, Utf32Be };

// Where an element stands in the document text (offsets and lengths in UTF-16 units).
struct XmlElementSpan {
  std::size_t offset = 0;
  std::size_t length = 0;
  std::size_t startTagLength = 0;
  std::size_t endTagLength = 0;
  bool emptyTag = false;  // written as a single "<name/>" tag
  bool unended = false;   // a start tag that no end tag closes
};

class XmlDocument {
 public:
  // Files larger than this are refused rather than risking the process's memory.
  static constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t{1} << 30;

  XmlDocument();
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;
  XmlDocument(XmlDocument&&) noexcept;
  XmlDocument& operator=(XmlDocument&&) noexcept;

  // Takes the text as the document (nullopt empties it), clears the result text and parses.
  // Returns whether the document is well-formed.
  bool SetDocumentText(std::optional<std::u16string_view> text);
  // Reads and parses a file; true only when the file was read cleanly and is well-formed.
  bool LoadFile(const std::filesystem::path& path);
  // Writes the document in the encoding it was read in (or the one it declares); true when written.
  bool SaveFile(const std::filesystem::path& path);

  void ResetPosition();
  // Moves to the next element of the current level named `name` (any element when empty).
  bool FindSibling(std::u16string_view name);
  bool EnterElement();
  bool LeaveElement();
  // Replaces the content of the current element; false (nothing changed) when it has child elements.
  bool ReplaceContent(std::u16string_view text, XmlContentMode mode = XmlContentMode::Text);

  const std::u16string& DocumentText() const { return text_; }
  // The report of the last load, parse or save: a sequence of XML elements named by event.
  const std::u16string& ResultText() const { return result_; }
  bool IsWellFormed() const { return wellFormed_; }
  XmlByteOrderMark ByteOrderMark() const { return byteOrderMark_; }

  // The current (main) element: its name, its raw content between the tags, an attribute value, its span.
  std::u16string TagName() const;
  std::u16string Content() const;
  std::optional<std::u16string> Attribute(std::u16string_view name) const;
  std::optional<XmlElementSpan> MainElement() const;

  std::size_t ElementCount() const { return records_.Count(); }
  std::size_t ElementCapacity() const { return records_.Capacity(); }

  // The encoding named by an XML declaration or, in an HTML document, by a Content-Type meta tag at the
  // start of `text`; empty when none is declared.
  static std::u16string DeclaredEncoding(std::u16string_view text);

 private:
  class ParseState;

  bool Parse();
  void AddResult(std::u16string_view event, std::initializer_list<std::pair<std::u16string_view, std::u16string>> attributes);
  std::u16string TagNameOf(std::uint32_t index) const;
  void ClearDocument();
  bool ReadBytes(const std::string& bytes);

  std::u16string text_;
  std::u16string result_;
  XmlElementRecords records_;
  std::uint32_t parent_ = 0;
  std::uint32_t main_ = 0;
  std::uint32_t child_ = 0;
  XmlByteOrderMark byteOrderMark_ = XmlByteOrderMark::None;
  bool wellFormed_ = false;
};

// Escapes text for element content (Text, Attribute) or wraps it in CDATA sections (CData).
std::u16string XmlEscape(std::u16string_view text, XmlContentMode mode);

}  // namespace sealrun::support
