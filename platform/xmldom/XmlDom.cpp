#include "platform/xmldom/XmlDom.h"

#include <pugixml.hpp>

#include <new>
#include <sstream>

#include "platform/fs/Files.h"
#include "platform/text/CodePage.h"
#include "platform/text/Utf.h"

namespace sealrun::platform::xmldom {
namespace {

pugi::xml_node ToPugi(void* handle) { return pugi::xml_node(static_cast<pugi::xml_node_struct*>(handle)); }

// Line ends and white space are kept as written, so a saved file differs from the read one only where it was edited.
constexpr unsigned kParseOptions = pugi::parse_cdata | pugi::parse_escapes | pugi::parse_wconv_attribute |
                                   pugi::parse_declaration | pugi::parse_comments | pugi::parse_pi |
                                   pugi::parse_doctype | pugi::parse_ws_pcdata;

enum class Bom { None, Utf8, Utf16Le, Utf16Be };

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

bool IsUtf8Name(std::string_view name) {
  return text::EqualsIgnoreAsciiCase(name, "utf-8") || text::EqualsIgnoreAsciiCase(name, "utf8");
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
  Bom bom = Bom::None;
  std::string charset;  // a declared encoding other than UTF-8 or UTF-16, used again on save
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
    state.bom = Bom::None;
    state.charset.clear();

    std::string utf8;
    if (bytes.starts_with("\xEF\xBB\xBF")) {
      state.bom = Bom::Utf8;
      utf8 = bytes.substr(3);
    } else if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
      state.bom = bytes[0] == '\xFF' ? Bom::Utf16Le : Bom::Utf16Be;
      const auto decoded =
          text::DecodeFrom(bytes.substr(2), state.bom == Bom::Utf16Le ? text::kCpUtf16Le : text::kCpUtf16Be);
      utf8 = text::Utf16ToUtf8(decoded.text);
    } else {
      const std::string declared = DeclaredEncoding(bytes);
      if (declared.empty() || IsUtf8Name(declared)) {
        utf8 = bytes;
      } else {
        const auto decoded = text::DecodeFromCharset(bytes, declared);
        if (!decoded) return false;  // an encoding this machine cannot read
        state.charset = declared;
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

std::string XmlDomDocument::SaveToBytes() const {
  std::ostringstream out;
  bool first = true;
  for (pugi::xml_node node : state_->document.children()) {
    if (!first) out << state_->lineEnd;
    first = false;
    node.print(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  }
  if (state_->endsWithLineEnd) out << state_->lineEnd;
  const std::string utf8 = out.str();
  switch (state_->bom) {
    case Bom::Utf8:
      return "\xEF\xBB\xBF" + utf8;
    case Bom::Utf16Le:
      return "\xFF\xFE" + text::FromUtf16(text::Utf8ToUtf16(utf8), text::kCpUtf16Le);
    case Bom::Utf16Be:
      return "\xFE\xFF" + text::FromUtf16(text::Utf8ToUtf16(utf8), text::kCpUtf16Be);
    case Bom::None:
      break;
  }
  if (!state_->charset.empty()) {
    if (auto encoded = text::EncodeToCharset(text::Utf8ToUtf16(utf8), state_->charset)) return encoded->text;
  }
  return utf8;
}

bool XmlDomDocument::Save(const std::filesystem::path& path) const {
  try {
    return fs::ReplaceFileAtomically(path, SaveToBytes());
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
