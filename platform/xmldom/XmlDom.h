#pragma once
// The XML DOM that configuration files are read and written through: load a file and learn whether it
// loaded, walk elements, read a node's value as text, set an element's text, save. Files keep the
// encoding (and byte-order mark) they were read with: UTF-8, UTF-16 or UTF-32 told by their mark or
// first bytes, else the declared encoding mapped as Windows maps it ("gb2312" is code page 936); a file
// without a declaration is UTF-8.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sealrun::platform::xmldom {

class XmlDomDocument;

// A node of a loaded document; valid while its document lives. A default node is "none".
class XmlDomNode {
 public:
  XmlDomNode() = default;

  explicit operator bool() const { return handle_ != nullptr; }
  bool IsElement() const;
  // Element name, or "#text", "#cdata-section", "#comment" as the DOM names other nodes.
  std::u16string NodeName() const;
  std::vector<XmlDomNode> ChildNodes() const;
  // The text the node stands for: an element's descendant text with surrounding white space removed.
  std::u16string TypedValueText() const;
  // Replaces an element's content with one text node. False for a node that is not an element.
  bool SetText(std::u16string_view text);
  // Appends a child element, indented like its last element sibling. A "none" node on failure.
  XmlDomNode AppendElement(std::u16string_view name);

 private:
  friend class XmlDomDocument;
  explicit XmlDomNode(void* handle) : handle_(handle) {}
  void* handle_ = nullptr;  // a pugi::xml_node's internal node
};

class XmlDomDocument {
 public:
  // Creates an empty document; nullptr only when it cannot be made (out of memory).
  static std::unique_ptr<XmlDomDocument> Create();
  ~XmlDomDocument();
  XmlDomDocument(const XmlDomDocument&) = delete;
  XmlDomDocument& operator=(const XmlDomDocument&) = delete;

  // True when the file was read and parsed as well-formed XML with a document element.
  bool Load(const std::filesystem::path& path);
  bool LoadText(std::string_view bytes);
  XmlDomNode DocumentElement() const;
  // Writes the document in the encoding it was read with, atomically replacing the file. False, with the
  // file left as it was, when the text cannot be written in that encoding without loss (a character the
  // file's code page does not hold, or bytes that did not decode when it was read).
  bool Save(const std::filesystem::path& path) const;
  // The bytes Save would write; nullopt when they would lose text.
  std::optional<std::string> SaveToBytes() const;

 private:
  struct ConstructionKey {};

 public:
  explicit XmlDomDocument(ConstructionKey);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace sealrun::platform::xmldom
