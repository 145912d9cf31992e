#include "support/XmlDocument.h"

#include <string>

#include "platform/text/Utf.h"
#include "support/XmlSyntax.h"

namespace sealrun::support {
namespace {

// The result text stops growing past this length, so a badly broken file cannot flood it.
constexpr std::size_t kResultTextLimit = 999;

}  // namespace

XmlDocument::XmlDocument() = default;
XmlDocument::~XmlDocument() = default;
XmlDocument::XmlDocument(XmlDocument&&) noexcept = default;
XmlDocument& XmlDocument::operator=(XmlDocument&&) noexcept = default;

bool XmlDocument::SetDocumentText(std::optional<std::u16string_view> text) {
  result_.clear();
  byteOrderMark_ = XmlByteOrderMark::None;
  if (!text) {
    ClearDocument();
    return false;
  }
  text_.assign(*text);
  return Parse();
}

void XmlDocument::ClearDocument() {
  text_.clear();
  records_.Release();
  ResetPosition();
  wellFormed_ = false;
}

void XmlDocument::AddResult(std::u16string_view event,
                            std::initializer_list<std::pair<std::u16string_view, std::u16string>> attributes) {
  if (result_.size() > kResultTextLimit) return;
  result_ += u'<';
  result_ += event;
  for (const auto& [name, value] : attributes) {
    result_ += u' ';
    result_ += name;
    result_ += u"=\"";
    result_ += XmlEscape(value, XmlContentMode::Attribute);
    result_ += u'"';
  }
  result_ += u"/>";
}

void XmlDocument::ResetPosition() {
  parent_ = 0;
  main_ = 0;
  child_ = 0;
}

bool XmlDocument::FindSibling(std::u16string_view name) {
  if (records_.Count() == 0) return false;
  std::uint32_t candidate = main_ != 0 ? records_[main_].nextSibling : records_[parent_].firstChild;
  for (; candidate != 0; candidate = records_[candidate].nextSibling) {
    if (name.empty()) break;
    const XmlElementRecord& record = records_[candidate];
    const std::u16string_view tag = std::u16string_view(text_).substr(record.offset + 1);
    if (tag.starts_with(name) && (tag.size() == name.size() || !IsXmlNameChar(tag[name.size()]))) break;
  }
  if (candidate == 0) return false;
  main_ = candidate;
  child_ = 0;
  return true;
}

bool XmlDocument::EnterElement() {
  if (main_ == 0) return false;
  parent_ = main_;
  main_ = child_;
  child_ = 0;
  return true;
}

bool XmlDocument::LeaveElement() {
  if (parent_ == 0) return false;
  child_ = main_;
  main_ = parent_;
  parent_ = records_[parent_].parent;
  return true;
}

bool XmlDocument::ReplaceContent(std::u16string_view text, XmlContentMode mode) {
  if (main_ == 0) return false;
  XmlElementRecord& record = records_[main_];
  // An element with children has no single content; an unended one has no place for an end tag that would
  // not change what the following elements belong to.
  if (record.firstChild != 0 || (record.flags & kXmlIllFormed) != 0) return false;

  const std::u16string content = XmlEscape(text, mode);
  std::size_t replaceFrom = 0;
  std::size_t replaceLength = 0;
  std::u16string insert;
  if ((record.flags & kXmlEmptyTag) != 0) {
    // "<name a="1"/>" becomes "<name a="1">content</name>".
    const std::u16string name = TagNameOf(main_);
    // Every "/" before the ">" goes: "<name a="1" //>" would otherwise still read as an empty tag.
    const std::size_t nameLength = 1 + name.size();
    std::size_t cut = record.startTagLength - 1;
    while (cut > nameLength && (IsXmlSpace(text_[record.offset + cut - 1]) || text_[record.offset + cut - 1] == u'/')) --cut;
    insert.reserve(cut + 1 + content.size() + name.size() + 3);
    insert.append(text_, record.offset, cut);
    insert += u'>';
    const std::size_t startTagLength = insert.size();
    insert += content;
    insert += u"</";
    insert += name;
    insert += u'>';
    replaceFrom = record.offset;
    replaceLength = record.startTagLength;
    record.startTagLength = startTagLength;
    record.endTagLength = name.size() + 3;
    record.flags = static_cast<std::uint8_t>(record.flags & ~kXmlEmptyTag);
  } else {
    replaceFrom = record.offset + record.startTagLength;
    replaceLength = record.length - record.startTagLength - record.endTagLength;
    insert = content;
  }
  text_.replace(replaceFrom, replaceLength, insert);

  // Shift instead of reparsing: the element and its ancestors change length, every later element moves.
  const std::size_t grown = insert.size();
  const auto resize = [&](std::size_t& length) { length = length - replaceLength + grown; };
  resize(record.length);
  for (std::uint32_t up = record.parent; up != 0; up = records_[up].parent) resize(records_[up].length);
  resize(records_[0].length);
  const std::uint32_t used = records_.Used();
  for (std::uint32_t index = main_ + 1; index < used; ++index) {
    std::size_t& offset = records_[index].offset;
    offset = offset - replaceLength + grown;
  }
  return true;
}

std::u16string XmlDocument::TagNameOf(std::uint32_t index) const {
  const std::size_t start = records_[index].offset + 1;
  return text_.substr(start, XmlNameEnd(text_, start) - start);
}

std::u16string XmlDocument::TagName() const { return main_ == 0 ? std::u16string() : TagNameOf(main_); }

std::u16string XmlDocument::Content() const {
  if (main_ == 0) return {};
  const XmlElementRecord& record = records_[main_];
  if (record.firstChild != 0 || (record.flags & (kXmlEmptyTag | kXmlIllFormed)) != 0) return {};
  return text_.substr(record.offset + record.startTagLength, record.length - record.startTagLength - record.endTagLength);
}

std::optional<std::u16string> XmlDocument::Attribute(std::u16string_view name) const {
  if (main_ == 0) return std::nullopt;
  const XmlElementRecord& record = records_[main_];
  const std::size_t nameEnd = XmlNameEnd(text_, record.offset + 1);
  const std::u16string_view attributes =
      std::u16string_view(text_).substr(nameEnd, record.offset + record.startTagLength - nameEnd);
  const auto value = FindXmlAttribute(attributes, name, false);
  if (!value) return std::nullopt;
  return std::u16string(*value);
}

std::optional<XmlElementSpan> XmlDocument::MainElement() const {
  if (main_ == 0) return std::nullopt;
  const XmlElementRecord& record = records_[main_];
  return XmlElementSpan{record.offset,
                        record.length,
                        record.startTagLength,
                        record.endTagLength,
                        (record.flags & kXmlEmptyTag) != 0,
                        (record.flags & kXmlIllFormed) != 0};
}

std::u16string XmlEscape(std::u16string_view text, XmlContentMode mode) {
  std::u16string out;
  out.reserve(text.size() + 16);
  if (mode == XmlContentMode::CData) {
    // "]]>" cannot stand inside a section: end the section between "]]" and ">" and open another.
    out += u"<![CDATA[";
    std::size_t from = 0;
    for (std::size_t at = text.find(u"]]>"); at != std::u16string_view::npos; at = text.find(u"]]>", from)) {
      out.append(text.substr(from, at - from));
      out += u"]]]]><![CDATA[>";
      from = at + 3;
    }
    out.append(text.substr(from));
    out += u"]]>";
    return out;
  }
  const bool attribute = mode == XmlContentMode::Attribute;
  for (const char16_t c : text) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"':
        if (attribute) out += u"&quot;"; else out += c;
        break;
      case u'\'':
        if (attribute) out += u"&apos;"; else out += c;
        break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace sealrun::support
