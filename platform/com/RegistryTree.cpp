#include "platform/com/RegistryTree.h"

#include <cstdio>
#include <vector>

#include "platform/com/Registry.h"
#include "platform/text/Utf.h"

namespace sealrun::platform::com {
namespace {

constexpr std::string_view kHeader = "sealrun-registry 1";
constexpr std::string_view kEnd = "end";

bool NeedsEscape(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == '%' || c == '[' || c == ']' || c == '=' || c == '"';
}

std::string Escape(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (NeedsEscape(c)) {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int high = HexDigit(text[i + 1]);
      const int low = HexDigit(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      out.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else if (NeedsEscape(c)) {
      return std::nullopt;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

std::optional<std::u16string> UnescapeName(std::string_view text) {
  auto bytes = Unescape(text);
  if (!bytes || !text::IsValidUtf8(*bytes)) return std::nullopt;
  return text::Utf8ToUtf16(*bytes);
}

// REG_SZ data that reads back to the same bytes as text: UTF-16 with one final NUL and no other.
std::optional<std::string> AsText(const std::string& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return std::nullopt;
  std::u16string units(data.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                     (static_cast<unsigned char>(data[2 * i + 1]) << 8));
  if (units.back() != u'\0') return std::nullopt;
  units.pop_back();
  if (units.find(u'\0') != std::u16string::npos) return std::nullopt;
  std::string utf8 = text::Utf16ToUtf8(units);
  if (text::Utf8ToUtf16(utf8) != units) return std::nullopt;
  return utf8;
}

std::string TextData(std::u16string_view text) {
  std::string data;
  data.reserve(text.size() * 2 + 2);
  for (const char16_t c : text) {
    data.push_back(static_cast<char>(c & 0xFF));
    data.push_back(static_cast<char>(c >> 8));
  }
  data.append(2, '\0');
  return data;
}

std::string HexBytes(std::string_view data) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char ch : data) {
    const auto c = static_cast<unsigned char>(ch);
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
  }
  return out;
}

std::optional<std::string> ParseHexBytes(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::string out;
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high * 16 + low));
  }
  return out;
}

std::optional<uint64_t> ParseHexNumber(std::string_view text, size_t digits) {
  if (text.size() != digits) return std::nullopt;
  uint64_t value = 0;
  for (const char c : text) {
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    value = (value << 4) | static_cast<uint64_t>(d);
  }
  return value;
}

std::string ValueLine(const RegistryValue& value) {
  std::string line = value.name.empty() ? "@" : "\"" + Escape(text::Utf16ToUtf8(value.name)) + "\"";
  line += '=';
  char number[32];
  if ((value.type == REG_SZ || value.type == REG_EXPAND_SZ) && AsText(value.data)) {
    line += (value.type == REG_SZ ? "sz:" : "esz:") + Escape(*AsText(value.data));
  } else if (value.type == REG_DWORD && value.data.size() == 4) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(value.data[i]);
    std::snprintf(number, sizeof number, "dword:%08x", v);
    line += number;
  } else if (value.type == REG_QWORD && value.data.size() == 8) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(value.data[i]);
    std::snprintf(number, sizeof number, "qword:%016llx", static_cast<unsigned long long>(v));
    line += number;
  } else {
    std::snprintf(number, sizeof number, "hex(%u):", static_cast<unsigned>(value.type));
    line += number + HexBytes(value.data);
  }
  return line;
}

void WriteNode(const RegistryNode& node, const std::string& path, std::string& out) {
  out += "[" + path + "]\n";
  for (const auto& [key, value] : node.values) out += ValueLine(value) + "\n";
  for (const auto& [key, child] : node.children) {
    const std::string name = Escape(text::Utf16ToUtf8(child->name));
    WriteNode(*child, path.empty() ? name : path + "\\" + name, out);
  }
}

std::optional<RegistryValue> ParseValueLine(std::string_view line) {
  RegistryValue value;
  size_t at = 0;
  if (line.starts_with("@=")) {
    at = 2;
  } else if (line.starts_with("\"")) {
    const size_t close = line.find('"', 1);
    if (close == std::string_view::npos || close + 1 >= line.size() || line[close + 1] != '=') return std::nullopt;
    auto name = UnescapeName(line.substr(1, close - 1));
    if (!name || name->empty()) return std::nullopt;
    value.name = std::move(*name);
    at = close + 2;
  } else {
    return std::nullopt;
  }
  const std::string_view rest = line.substr(at);
  const size_t colon = rest.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view kind = rest.substr(0, colon);
  const std::string_view data = rest.substr(colon + 1);
  if (kind == "sz" || kind == "esz") {
    auto textValue = UnescapeName(data);
    if (!textValue) return std::nullopt;
    value.type = kind == "sz" ? REG_SZ : REG_EXPAND_SZ;
    value.data = TextData(*textValue);
  } else if (kind == "dword" || kind == "qword") {
    const size_t bytes = kind == "dword" ? 4 : 8;
    const auto number = ParseHexNumber(data, bytes * 2);
    if (!number) return std::nullopt;
    value.type = kind == "dword" ? REG_DWORD : REG_QWORD;
    for (size_t i = 0; i < bytes; ++i) value.data.push_back(static_cast<char>((*number >> (8 * i)) & 0xFF));
  } else if (kind.starts_with("hex(") && kind.ends_with(")") && kind.size() > 5) {
    unsigned decimal = 0;
    for (const char c : kind.substr(4, kind.size() - 5)) {
      if (c < '0' || c > '9' || decimal > 100000000) return std::nullopt;
      decimal = decimal * 10 + static_cast<unsigned>(c - '0');
    }
    auto bytes = ParseHexBytes(data);
    if (!bytes) return std::nullopt;
    value.type = decimal;
    value.data = std::move(*bytes);
  } else {
    return std::nullopt;
  }
  return value;
}

RegistryNode* Child(RegistryNode& parent, const std::u16string& name) {
  auto& slot = parent.children[RegistryNameKey(name)];
  if (!slot) {
    slot = std::make_unique<RegistryNode>();
    slot->name = name;
  }
  return slot.get();
}

}  // namespace

std::u16string RegistryNameKey(std::u16string_view name) { return text::AsciiLower(name); }

std::string SerializeRegistry(const RegistryNode& root) {
  std::string out(kHeader);
  out += "\n";
  WriteNode(root, "", out);
  out += kEnd;
  out += "\n";
  return out;
}

std::optional<RegistryNode> ParseRegistry(std::string_view text) {
  RegistryNode root;
  RegistryNode* current = nullptr;
  bool headerSeen = false;
  bool ended = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) return std::nullopt;  // every line ends with a newline
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (ended) return std::nullopt;
    if (!headerSeen) {
      if (line != kHeader) return std::nullopt;
      headerSeen = true;
      continue;
    }
    if (line == kEnd) {
      ended = true;
      continue;
    }
    if (line.starts_with("[")) {
      if (!line.ends_with("]")) return std::nullopt;
      const std::string_view path = line.substr(1, line.size() - 2);
      current = &root;
      size_t at = 0;
      size_t depth = 0;
      while (at < path.size()) {
        size_t cut = path.find('\\', at);
        if (cut == std::string_view::npos) cut = path.size();
        auto name = UnescapeName(path.substr(at, cut - at));
        // A key name never holds the separator (an escaped one would split the key when written back).
        if (!name || name->empty() || name->find(u'\\') != std::u16string::npos ||
            name->size() > kMaxRegistryKeyName || ++depth > kMaxRegistryDepth)
          return std::nullopt;
        current = Child(*current, *name);
        at = cut + 1;
        if (cut == path.size() - 1) return std::nullopt;  // trailing separator
      }
      continue;
    }
    if (current == nullptr) return std::nullopt;
    auto value = ParseValueLine(line);
    if (!value) return std::nullopt;
    const std::u16string key = RegistryNameKey(value->name);
    current->values[key] = std::move(*value);
  }
  if (!headerSeen || !ended) return std::nullopt;
  return root;
}

}  // namespace sealrun::platform::com
