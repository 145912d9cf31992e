#include "platform/xmldom/XmlDom.h"

#include <pugixml.hpp>

#include <new>
#include <sstream>

#include "platform/fs/Files.h"
#include "platform/text/CharsetNames.h"
#include "platform/text/CodePage.h"
#include "platform/text/Utf.h"

namespace sealrun::platform::xmldom {
namespace {

pugi::xml_node ToPugi(void* handle) { return pugi::xml_node(static_cast<pugi::xml_node_struct*>(handle)); }

// Line ends and white space are kept as written, so a saved file differs from the read one only where it was edited.
constexpr unsigned kParseOptions = pugi::parse_cdata | pugi::parse_escapes | pugi::parse_wconv_attribute |
                                   pugi::parse_declaration | pugi::parse_comments | pugi::parse_pi |
                                   pugi::parse_doctype | pugi::parse_ws_pcdata;

// How a file's text is encoded, as found when it was read: the code page and the byte-order mark it began
// with (written again on save; empty for none).
struct FileEncoding {
  text::CodePage codePage = text::kCpUtf8;
  std::string_view mark;
};

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";
constexpr std::string_view kUtf32LeMark{"\xFF\xFE\0\0", 4};
constexpr std::string_view kUtf32BeMark{"\0\0\xFE\xFF", 4};

bool IsWide(text::CodePage codePage) {
  return codePage == text::kCpUtf16Le || codePage == text::kCpUtf16Be || codePage == text::kCpUtf32Le ||
         codePage == text::kCpUtf32Be;
}

// The encoding of a file from its first bytes, as a standard XML reader tells it: a byte-order mark (the
// UTF-32 ones before UTF-16's, whose mark they begin with), else the pattern of zero bytes around the first
// "<" that UTF-16 and UTF-32 text without a mark has. nullopt: an 8-bit encoding, found from the declaration.
std::optional<FileEncoding> EncodingFromFirstBytes(std::string_view bytes) {
  for (const auto& [mark, codePage] :
       {std::pair{kUtf8Mark, text::kCpUtf8}, std::pair{kUtf32LeMark, text::kCpUtf32Le},
        std::pair{kUtf32BeMark, text::kCpUtf32Be}, std::pair{kUtf16LeMark, text::kCpUtf16Le},
        std::pair{kUtf16BeMark, text::kCpUtf16Be}}) {
    if (bytes.starts_with(mark)) return FileEncoding{codePage, mark};
  }
  if (bytes.size() < 4) return std::nullopt;
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (at(0) == 0 && at(1) == 0 && at(2) == 0 && at(3) == '<') return FileEncoding{text::kCpUtf32Be, {}};
  if (at(0) == '<' && at(1) == 0 && at(2) == 0 && at(3) == 0) return FileEncoding{text::kCpUtf32Le, {}};
  if (at(0) == 0 && at(1) == '<' && at(2) == 0 && at(3) != 0) return FileEncoding{text::kCpUtf16Be, {}};
  if (at(0) == '<' && at(1) == 0 && at(2) != 0 && at(3) == 0) return FileEncoding{text::kCpUtf16Le, {}};
  return std::nullopt;
}

// The value of encoding="..." in a leading XML declaration, read as ASCII.
std::string DeclaredEncoding(std::string_view bytes) {
  if (!bytes.starts_with("<?xml")) return {};
  const auto end = bytes.find("?>");
  const std::string_view declaration = bytes.substr(0, end);
  const auto key = declaration.find("encoding");
  if (key == std::string_view::npos) return {};
  auto pos = declaration.find_first_of("\"'", key);
  if (pos == std::string_view::npos) return {};
  const char quote = declaration[pos];
  const auto close = declaration.find(quote, pos + 1);
  if (close == std::string_view::npos) return {};
  return std::string(declaration.substr(pos + 1, close - pos - 1));
}

void CollectText(pugi::xml_node node, std::string& out) {
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
      out += child.value();
    else if (child.type() == pugi::node_element)
      CollectText(child, out);
  }
}

std::string_view TrimXmlSpace(std::string_view value) {
  constexpr std::string_view kSpace = " \t\r\n";
  const auto first = value.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return value.substr(first, value.find_last_not_of(kSpace) - first + 1);
}

}  // namespace

struct XmlDomDocument::State {
  pugi::xml_document document;
  FileEncoding encoding;
  // A declared encoding the table of names does not hold, converted by iconv's own name for it.
  std::string charset;
  // Bytes that did not decode were read as "?": writing the file back would lose them.
  bool lossyRead = false;
  // The document keeps no text outside its top-level nodes; the line end between them and at the end is kept here.
  std::string lineEnd = "\r\n";
  bool endsWithLineEnd = false;
};

XmlDomDocument::XmlDomDocument(ConstructionKey) : state_(std::make_unique<State>()) {}
XmlDomDocument::~XmlDomDocument() = default;

std::unique_ptr<XmlDomDocument> XmlDomDocument::Create() {
  try {
    return std::make_unique<XmlDomDocument>(ConstructionKey{});
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool XmlDomDocument::Load(const std::filesystem::path& path) {
  const auto bytes = fs::ReadFile(path);
  return bytes && LoadText(*bytes);
}

bool XmlDomDocument::LoadText(std::string_view bytes) {
  try {
    State& state = *state_;
    state.document.reset();
    state.encoding = {};
    state.charset.clear();
    state.lossyRead = false;

    std::string utf8;
    if (const auto found = EncodingFromFirstBytes(bytes)) {
      state.encoding = *found;
      const std::string_view body = bytes.substr(found->mark.size());
      if (found->codePage == text::kCpUtf8) {
        utf8 = body;
      } else {
        const auto decoded = text::DecodeFrom(body, found->codePage);
        state.lossyRead = decoded.lossy;
        utf8 = text::Utf16ToUtf8(decoded.text);
      }
    } else {
      const std::string declared = DeclaredEncoding(bytes);
      const std::optional<text::CodePage> codePage =
          declared.empty() ? std::optional<text::CodePage>(text::kCpUtf8) : text::CodePageOfCharsetName(declared);
      if (codePage && (*codePage == text::kCpUtf8 || IsWide(*codePage))) {
        // A declaration legible as 8-bit text means the bytes are not really UTF-16 or UTF-32.
        utf8 = bytes;
      } else if (codePage && text::IsCodePageSupported(*codePage)) {
        state.encoding.codePage = *codePage;
        const auto decoded = text::DecodeFrom(bytes, *codePage);
        state.lossyRead = decoded.lossy;
        utf8 = text::Utf16ToUtf8(decoded.text);
      } else {
        const auto decoded = text::DecodeFromCharset(bytes, declared);
        if (!decoded) return false;  // an encoding this machine cannot read
        state.charset = declared;
        state.lossyRead = decoded->lossy;
        utf8 = text::Utf16ToUtf8(decoded->text);
      }
    }
    state.lineEnd = utf8.find('\n') == std::string::npos ? "" : utf8.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const auto last = utf8.find_last_not_of(" \t\r\n");
    state.endsWithLineEnd = last != std::string::npos && utf8.find('\n', last) != std::string::npos;
    const pugi::xml_parse_result result =
        state.document.load_buffer(utf8.data(), utf8.size(), kParseOptions, pugi::encoding_utf8);
    return result && state.document.document_element();
  } catch (const std::bad_alloc&) {
    state_->document.reset();
    return false;
  }
}

XmlDomNode XmlDomDocument::DocumentElement() const {
  return XmlDomNode(state_->document.document_element().internal_object());
}

std::optional<std::string> XmlDomDocument::SaveToBytes() const {
  if (state_->lossyRead) return std::nullopt;
  std::ostringstream out;
  bool first = true;
  for (pugi::xml_node node : state_->document.children()) {
    if (!first) out << state_->lineEnd;
    first = false;
    node.print(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  }
  if (state_->endsWithLineEnd) out << state_->lineEnd;
  const std::string utf8 = out.str();
  const FileEncoding& encoding = state_->encoding;
  if (!state_->charset.empty()) {
    auto encoded = text::EncodeToCharset(text::Utf8ToUtf16(utf8), state_->charset);
    if (!encoded || encoded->lossy) return std::nullopt;
    return std::move(encoded->text);
  }
  if (encoding.codePage == text::kCpUtf8) return std::string(encoding.mark) + utf8;
  // A character the file's code page cannot hold would be written as "?": the file is not written at all.
  auto encoded = text::EncodeTo(text::Utf8ToUtf16(utf8), encoding.codePage);
  if (encoded.lossy) return std::nullopt;
  return std::string(encoding.mark) + encoded.text;
}

bool XmlDomDocument::Save(const std::filesystem::path& path) const {
  try {
    const std::optional<std::string> bytes = SaveToBytes();
    return bytes && fs::ReplaceFileAtomically(path, *bytes);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool XmlDomNode::IsElement() const { return handle_ && ToPugi(handle_).type() == pugi::node_element; }

std::u16string XmlDomNode::NodeName() const {
  const pugi::xml_node node = ToPugi(handle_);
  switch (node.type()) {
    case pugi::node_element:
      return text::Utf8ToUtf16(node.name());
    case pugi::node_pcdata:
      return u"#text";
    case pugi::node_cdata:
      return u"#cdata-section";
    case pugi::node_comment:
      return u"#comment";
    default:
      return text::Utf8ToUtf16(node.name());
  }
}

std::vector<XmlDomNode> XmlDomNode::ChildNodes() const {
  std::vector<XmlDomNode> children;
  for (pugi::xml_node child : ToPugi(handle_).children()) children.push_back(XmlDomNode(child.internal_object()));
  return children;
}

std::u16string XmlDomNode::TypedValueText() const {
  const pugi::xml_node node = ToPugi(handle_);
  if (!node) return {};
  if (node.type() != pugi::node_element) return text::Utf8ToUtf16(TrimXmlSpace(node.value()));
  std::string value;
  CollectText(node, value);
  return text::Utf8ToUtf16(TrimXmlSpace(value));
}

bool XmlDomNode::SetText(std::u16string_view value) {
  pugi::xml_node node = ToPugi(handle_);
  if (!node || node.type() != pugi::node_element) return false;
  while (node.first_child()) node.remove_child(node.first_child());
  return node.append_child(pugi::node_pcdata).set_value(text::Utf16ToUtf8(value).c_str());
}

XmlDomNode XmlDomNode::AppendElement(std::u16string_view name) {
  pugi::xml_node node = ToPugi(handle_);
  if (!node || node.type() != pugi::node_element || name.empty()) return {};
  const std::string utf8Name = text::Utf16ToUtf8(name);
  const pugi::xml_node last = node.last_child();
  const bool trailingSpace = last.type() == pugi::node_pcdata && TrimXmlSpace(last.value()).empty();
  pugi::xml_node previousElement = trailingSpace ? last.previous_sibling() : last;
  pugi::xml_node indent = previousElement ? previousElement.previous_sibling() : pugi::xml_node();
  if (!trailingSpace || previousElement.type() != pugi::node_element || indent.type() != pugi::node_pcdata ||
      !TrimXmlSpace(indent.value()).empty()) {
    return XmlDomNode(node.append_child(utf8Name.c_str()).internal_object());
  }
  node.insert_child_before(pugi::node_pcdata, last).set_value(indent.value());
  return XmlDomNode(node.insert_child_before(utf8Name.c_str(), last).internal_object());
}

}  // namespace sealrun::platform::xmldom
