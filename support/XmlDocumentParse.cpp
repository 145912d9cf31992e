// One pass over the document text that builds the element records and reports syntax problems. The pass goes
// from one "<" to the next; each kind of markup has its own handler, which reads it and says where the pass goes
// on. Every step costs time in proportion to the text it reads, however broken the document is.
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/text/Utf.h"
#include "support/XmlDocument.h"
#include "support/XmlSyntax.h"

namespace sealrun::support {
namespace {

constexpr std::size_t kNone = std::u16string_view::npos;

std::u16string Number(std::size_t value) { return platform::text::Widen(std::to_string(value)); }

bool StartsWithAt(std::u16string_view text, std::size_t at, std::u16string_view what) {
  return text.size() - at >= what.size() && text.compare(at, what.size(), what) == 0;
}

// The end (one past ">") of a document type declaration starting at `at`, stepping over quoted text and an
// internal subset in brackets; kNone when it never ends.
std::size_t DoctypeEnd(std::u16string_view text, std::size_t at) {
  int depth = 0;
  for (std::size_t i = at + 2; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'"' || c == u'\'') {
      i = text.find(c, i + 1);
      if (i == kNone) return kNone;
    } else if (c == u'[') {
      ++depth;
    } else if (c == u']') {
      if (depth > 0) --depth;
    } else if (c == u'>' && depth == 0) {
      return i + 1;
    }
  }
  return kNone;
}

// The end (one past ">") of a start tag whose name ends at `nameEnd`, stepping over quoted attribute values,
// which may hold ">". When the tag never ends: kNone, and `cut` is the "<" that cuts it short or the end of the
// text.
std::size_t StartTagEnd(std::u16string_view text, std::size_t nameEnd, std::size_t& cut) {
  std::size_t j = nameEnd;
  while (j < text.size()) {
    const char16_t c = text[j];
    if (c == u'"' || c == u'\'') {
      const std::size_t quote = text.find(c, j + 1);
      if (quote == kNone) {
        j = text.size();
        break;
      }
      j = quote + 1;
    } else if (c == u'>') {
      return j + 1;
    } else if (c == u'<') {
      break;
    } else {
      ++j;
    }
  }
  cut = j;
  return kNone;
}

// The elements whose end tag has not come yet, outermost first. An end tag nearly always closes the innermost one;
// from the first that does not, the open elements are also indexed by name (each remembers the next open element of
// its name below it, and the innermost one of each name is kept by name), so that a stray end tag is told apart at
// once however many elements are open.
class OpenElements {
 public:
  struct Open {
    std::uint32_t index;
    std::uint32_t lastChild;
    std::u16string_view name;
    std::size_t sameNameBelow = 0;  // depth of the next open element of this name, 0 for none
    std::size_t* innermostOfName = nullptr;  // its name's slot, once indexed
  };

  OpenElements() { open_.reserve(7); }

  bool Empty() const { return open_.empty(); }
  // 1 when only the outermost element is open.
  std::size_t Depth() const { return open_.size(); }
  Open& Innermost() { return open_.back(); }

  void Push(std::uint32_t index, std::u16string_view name) {
    open_.push_back({index, 0, name});
    if (indexed_) IndexAt(open_.size());
  }

  Open Pop() {
    const Open top = open_.back();
    open_.pop_back();
    if (top.innermostOfName != nullptr) *top.innermostOfName = top.sameNameBelow;
    return top;
  }

  // The depth of the innermost open element named `name`, 0 when none is open.
  std::size_t DepthOf(std::u16string_view name) {
    if (!open_.empty() && open_.back().name == name) return open_.size();
    if (!indexed_) {
      indexed_ = true;
      for (std::size_t depth = 1; depth <= open_.size(); ++depth) IndexAt(depth);
    }
    const auto found = innermostByName_.find(name);
    return found == innermostByName_.end() ? 0 : found->second;
  }

 private:
  void IndexAt(std::size_t depth) {
    Open& open = open_[depth - 1];
    std::size_t& innermost = innermostByName_[open.name];
    open.sameNameBelow = innermost;
    open.innermostOfName = &innermost;
    innermost = depth;
  }

  std::vector<Open> open_;
  bool indexed_ = false;
  // Map nodes never move, so the open elements may point at their name's slot.
  std::unordered_map<std::u16string_view, std::size_t> innermostByName_;
};

}  // namespace

class XmlDocument::ParseState {
 public:
  explicit ParseState(XmlDocument& document)
      : document_(document), records_(document.records_), text_(document.text_) {}

  // Steps over text, which is not indexed, to the next "<"; kNone when no markup follows.
  std::size_t Text(std::size_t at) const { return text_.find(u'<', at); }
  // Reads the markup starting with the "<" at `at`; where the pass goes on, kNone when it stops.
  std::size_t Markup(std::size_t at);
  // Ends what is still open at the end of the text and checks the root; whether the document is well-formed.
  bool Finish();

 private:
  std::size_t Declaration(std::size_t at);
  std::size_t Comment(std::size_t at);
  std::size_t CData(std::size_t at);
  std::size_t Doctype(std::size_t at);
  std::size_t UnknownDeclaration(std::size_t at);
  std::size_t ProcessingInstruction(std::size_t at);
  std::size_t EndTag(std::size_t at);
  std::size_t StartTag(std::size_t at);
  std::size_t NotATag(std::size_t at);

  std::uint32_t AddElement(std::size_t at, std::size_t tagEnd);
  void EmptyElementTag(std::uint32_t index);
  void EndUnended(std::size_t where);
  void ResolveParents();
  void Syntax(std::u16string_view event, std::size_t offset);
  std::uint32_t& LastChild() { return open_.Empty() ? rootLastChild_ : open_.Innermost().lastChild; }

  XmlDocument& document_;
  XmlElementRecords& records_;
  const std::u16string_view text_;
  OpenElements open_;
  std::uint32_t rootLastChild_ = 0;
  bool anyUnended_ = false;
  bool illFormed_ = false;
};

bool XmlDocument::Parse() {
  ResetPosition();
  records_.Reset(text_.size() / 64 + 8);
  records_[0].length = text_.size();
  ParseState state(*this);
  std::size_t at = state.Text(0);
  while (at != kNone) at = state.Text(state.Markup(at));
  wellFormed_ = state.Finish();
  return wellFormed_;
}

std::size_t XmlDocument::ParseState::Markup(std::size_t at) {
  if (at + 1 >= text_.size()) {
    Syntax(u"first_tag_syntax", at);
    return kNone;
  }
  switch (text_[at + 1]) {
    case u'!': return Declaration(at);
    case u'?': return ProcessingInstruction(at);
    case u'/': return EndTag(at);
    default: return IsXmlNameStart(text_[at + 1]) ? StartTag(at) : NotATag(at);
  }
}

std::size_t XmlDocument::ParseState::Declaration(std::size_t at) {
  if (StartsWithAt(text_, at, u"<!--")) return Comment(at);
  if (StartsWithAt(text_, at, u"<![CDATA[")) return CData(at);
  if (text_.size() - at >= 9 && platform::text::EqualsIgnoreAsciiCase(text_.substr(at, 9), u"<!DOCTYPE"))
    return Doctype(at);
  return UnknownDeclaration(at);
}

std::size_t XmlDocument::ParseState::Comment(std::size_t at) {
  const std::size_t end = text_.find(u"-->", at + 4);
  if (end == kNone) {
    Syntax(u"comment_tag_syntax", at);
    return kNone;
  }
  return end + 3;
}

std::size_t XmlDocument::ParseState::CData(std::size_t at) {
  const std::size_t end = text_.find(u"]]>", at + 9);
  if (end == kNone) {
    Syntax(u"cdata_section_syntax", at);
    return kNone;
  }
  return end + 3;
}

std::size_t XmlDocument::ParseState::Doctype(std::size_t at) {
  const std::size_t end = DoctypeEnd(text_, at);
  if (end == kNone) Syntax(u"doctype_tag_syntax", at);
  return end;
}

// "<!" followed by anything else is reported and skipped up to its ">".
std::size_t XmlDocument::ParseState::UnknownDeclaration(std::size_t at) {
  Syntax(u"exclamation_tag_syntax", at);
  const std::size_t end = text_.find(u'>', at + 2);
  return end == kNone ? kNone : end + 1;
}

std::size_t XmlDocument::ParseState::ProcessingInstruction(std::size_t at) {
  const std::size_t end = text_.find(u"?>", at + 2);
  if (end == kNone) {
    Syntax(u"unterminated_tag_syntax", at);
    return kNone;
  }
  return end + 2;
}

// An end tag closes the innermost open element of its name; the elements open inside that one end unended.
std::size_t XmlDocument::ParseState::EndTag(std::size_t at) {
  const std::size_t nameStart = at + 2;
  const std::size_t nameEnd = XmlNameEnd(text_, nameStart);
  const std::u16string_view name = text_.substr(nameStart, nameEnd - nameStart);
  const std::size_t close = text_.find(u'>', nameEnd);
  if (close == kNone) {
    illFormed_ = true;
    document_.AddResult(u"unterminated_tag_syntax", {{u"tagname", std::u16string(name)}, {u"offset", Number(at)}});
    return kNone;
  }
  const std::size_t tagEnd = close + 1;
  const std::size_t depth = open_.DepthOf(name);
  if (depth == 0) {
    illFormed_ = true;
    document_.AddResult(u"lone_end_tag", {{u"tagname", std::u16string(name)}, {u"offset", Number(at)}});
    return tagEnd;
  }
  while (open_.Depth() > depth) EndUnended(at);
  XmlElementRecord& record = records_[open_.Pop().index];
  record.length = tagEnd - record.offset;
  record.endTagLength = tagEnd - at;
  return tagEnd;
}

// A start tag or an empty-element tag: a new element, the last child of the innermost open element.
std::size_t XmlDocument::ParseState::StartTag(std::size_t at) {
  const std::size_t nameEnd = XmlNameEnd(text_, at + 1);
  const std::u16string_view name = text_.substr(at + 1, nameEnd - at - 1);
  std::size_t cut = kNone;
  const std::size_t tagEnd = StartTagEnd(text_, nameEnd, cut);
  if (tagEnd == kNone) {
    illFormed_ = true;
    document_.AddResult(u"unterminated_tag_syntax", {{u"tagname", std::u16string(name)}, {u"offset", Number(at)}});
    return cut < text_.size() ? cut : kNone;  // a "<" cut the tag short: go on from there
  }
  const std::uint32_t index = AddElement(at, tagEnd);
  if (index == 0) {
    illFormed_ = true;
    return kNone;
  }
  if (text_[tagEnd - 2] == u'/' && tagEnd - 2 >= nameEnd)
    EmptyElementTag(index);
  else
    open_.Push(index, name);
  return tagEnd;
}

std::size_t XmlDocument::ParseState::NotATag(std::size_t at) {
  Syntax(u"first_tag_syntax", at);
  return at + 1;
}

// The record of an element whose start tag spans [at, tagEnd); 0 when the index space is exhausted.
std::uint32_t XmlDocument::ParseState::AddElement(std::size_t at, std::size_t tagEnd) {
  const std::uint32_t index = records_.Add();
  if (index == 0) return 0;
  const std::uint32_t parent = open_.Empty() ? 0 : open_.Innermost().index;
  XmlElementRecord& record = records_[index];
  record.offset = at;
  record.startTagLength = tagEnd - at;
  record.parent = parent;
  std::uint32_t& lastChild = LastChild();
  if (lastChild != 0) {
    records_[lastChild].nextSibling = index;
    record.previousSibling = lastChild;
  } else {
    records_[parent].firstChild = index;
  }
  lastChild = index;
  return index;
}

void XmlDocument::ParseState::EmptyElementTag(std::uint32_t index) {
  XmlElementRecord& record = records_[index];
  record.length = record.startTagLength;
  record.flags = kXmlEmptyTag;
}

// Ends the innermost open element without an end tag: it keeps only its start tag and its children become its
// following siblings. Their parent fields are set once, when the pass ends (ResolveParents): setting them here
// would visit the same elements again for every unended element around them.
void XmlDocument::ParseState::EndUnended(std::size_t where) {
  const OpenElements::Open ended = open_.Pop();
  XmlElementRecord& record = records_[ended.index];
  record.length = record.startTagLength;
  record.flags |= kXmlIllFormed;
  illFormed_ = true;
  anyUnended_ = true;
  document_.AddResult(u"unended_start_tag", {{u"tagname", document_.TagNameOf(ended.index)},
                                             {u"offset", Number(record.offset)},
                                             {u"offset2", Number(where)}});
  const std::uint32_t first = record.firstChild;
  if (first == 0) return;
  record.firstChild = 0;
  record.nextSibling = first;
  records_[first].previousSibling = ended.index;
  LastChild() = ended.lastChild;
}

// An element whose parent ended unended belongs to that parent's parent, or further up when that one ended
// unended too. A parent comes before its children, so one pass in order settles every element.
void XmlDocument::ParseState::ResolveParents() {
  if (!anyUnended_) return;
  for (std::uint32_t index = 1; index < records_.Used(); ++index) {
    XmlElementRecord& record = records_[index];
    if (record.parent != 0 && (records_[record.parent].flags & kXmlIllFormed) != 0)
      record.parent = records_[record.parent].parent;
  }
}

void XmlDocument::ParseState::Syntax(std::u16string_view event, std::size_t offset) {
  illFormed_ = true;
  document_.AddResult(event, {{u"offset", Number(offset)}});
}

bool XmlDocument::ParseState::Finish() {
  while (!open_.Empty()) EndUnended(text_.size());
  ResolveParents();
  const std::uint32_t first = records_[0].firstChild;
  if (first == 0) {
    document_.AddResult(u"no_root_element", {});
  } else if (const std::uint32_t second = records_[first].nextSibling; second != 0) {
    document_.AddResult(u"root_has_sibling",
                        {{u"tagname", document_.TagNameOf(second)}, {u"offset", Number(records_[second].offset)}});
  }
  if (illFormed_) records_[0].flags |= kXmlIllFormed;
  return !illFormed_ && first != 0 && records_[first].nextSibling == 0;
}

std::u16string XmlDocument::DeclaredEncoding(std::u16string_view text) {
  // An XML declaration, possibly after a stray byte order mark character or white space.
  std::size_t start = 0;
  while (start < text.size() && (text[start] == 0xFEFF || IsXmlSpace(text[start]))) ++start;
  if (StartsWithAt(text, start, u"<?xml") && text.size() > start + 5 && IsXmlSpace(text[start + 5])) {
    std::size_t end = text.find(u"?>", start);
    if (end == kNone) end = text.size();
    const auto encoding = FindXmlAttribute(text.substr(start + 5, end - start - 5), u"encoding", false);
    return encoding ? std::u16string(*encoding) : std::u16string();
  }

  // An HTML document: a meta tag inside head, found by order because the head may be cut short.
  XmlDocument probe;
  probe.SetDocumentText(text);
  const XmlElementRecords& records = probe.records_;
  if (records.Count() == 0) return {};
  const auto nameIs = [&](std::uint32_t index, std::u16string_view name) {
    return platform::text::EqualsIgnoreAsciiCase(probe.TagNameOf(index), name);
  };
  if (!nameIs(records[0].firstChild, u"html")) return {};
  bool inHead = false;
  for (std::uint32_t index = 1; index < records.Used(); ++index) {
    if (nameIs(index, u"head")) inHead = true;
    if (nameIs(index, u"body")) break;
    if (!inHead || !nameIs(index, u"meta")) continue;
    const XmlElementRecord& record = records[index];
    const std::size_t nameEnd = record.offset + 5;
    const std::u16string_view attributes = text.substr(nameEnd, record.offset + record.startTagLength - nameEnd);
    if (const auto charset = FindXmlAttribute(attributes, u"charset", true)) return std::u16string(*charset);
    const auto httpEquiv = FindXmlAttribute(attributes, u"http-equiv", true);
    if (!httpEquiv || !platform::text::EqualsIgnoreAsciiCase(*httpEquiv, u"Content-Type")) continue;
    const auto content = FindXmlAttribute(attributes, u"content", true);
    if (!content) continue;
    const std::u16string lower = platform::text::AsciiLower(*content);
    std::size_t at = lower.find(u"charset");
    if (at == kNone) continue;
    at += 7;
    while (at < lower.size() && IsXmlSpace(lower[at])) ++at;
    if (at >= lower.size() || lower[at] != u'=') continue;
    ++at;
    while (at < lower.size() && IsXmlSpace(lower[at])) ++at;
    std::size_t end = at;
    while (end < lower.size() && lower[end] != u';' && lower[end] != u'"' && lower[end] != u'\'' && !IsXmlSpace(lower[end]))
      ++end;
    return std::u16string(content->substr(at, end - at));
  }
  return {};
}

}  // namespace sealrun::support
