// One pass over the document text that builds the element records and reports syntax problems.
#include <string>
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

}  // namespace

struct XmlDocument::ParseState {
  struct Open {
    std::uint32_t index;
    std::uint32_t lastChild;
  };
  std::vector<Open> open;
  std::uint32_t rootLastChild = 0;
  bool illFormed = false;

  std::uint32_t& LastChild() { return open.empty() ? rootLastChild : open.back().lastChild; }
};

bool XmlDocument::Parse() {
  ResetPosition();
  records_.Reset(text_.size() / 64 + 8);
  records_[0].length = text_.size();
  const std::u16string_view text = text_;
  const std::size_t n = text.size();

  ParseState state;
  state.open.reserve(7);

  // Ends the innermost open element without an end tag: it keeps only its start tag and its children become
  // its following siblings.
  const auto endUnended = [&](std::size_t where) {
    const std::uint32_t index = state.open.back().index;
    state.open.pop_back();
    XmlElementRecord& record = records_[index];
    record.length = record.startTagLength;
    record.flags |= kXmlIllFormed;
    state.illFormed = true;
    AddResult(u"unended_start_tag",
              {{u"tagname", TagNameOf(index)}, {u"offset", Number(record.offset)}, {u"offset2", Number(where)}});
    const std::uint32_t first = record.firstChild;
    if (first == 0) return;
    std::uint32_t last = first;
    for (std::uint32_t child = first; child != 0; child = records_[child].nextSibling) {
      records_[child].parent = record.parent;
      last = child;
    }
    record.firstChild = 0;
    record.nextSibling = first;
    records_[first].previousSibling = index;
    state.LastChild() = last;
  };
  const auto syntax = [&](std::u16string_view event, std::size_t offset) {
    state.illFormed = true;
    AddResult(event, {{u"offset", Number(offset)}});
  };

  std::size_t i = 0;
  while ((i = text.find(u'<', i)) != kNone) {
    if (i + 1 >= n) {
      syntax(u"first_tag_syntax", i);
      break;
    }
    const char16_t c = text[i + 1];
    if (c == u'!') {
      std::size_t end = kNone;
      if (StartsWithAt(text, i, u"<!--")) {
        end = text.find(u"-->", i + 4);
        if (end == kNone) {
          syntax(u"comment_tag_syntax", i);
          break;
        }
        i = end + 3;
      } else if (StartsWithAt(text, i, u"<![CDATA[")) {
        end = text.find(u"]]>", i + 9);
        if (end == kNone) {
          syntax(u"cdata_section_syntax", i);
          break;
        }
        i = end + 3;
      } else if (n - i >= 9 && platform::text::EqualsIgnoreAsciiCase(text.substr(i, 9), u"<!DOCTYPE")) {
        end = DoctypeEnd(text, i);
        if (end == kNone) {
          syntax(u"doctype_tag_syntax", i);
          break;
        }
        i = end;
      } else {
        syntax(u"exclamation_tag_syntax", i);
        end = text.find(u'>', i + 2);
        if (end == kNone) break;
        i = end + 1;
      }
      continue;
    }
    if (c == u'?') {
      const std::size_t end = text.find(u"?>", i + 2);
      if (end == kNone) {
        syntax(u"unterminated_tag_syntax", i);
        break;
      }
      i = end + 2;
      continue;
    }
    if (c == u'/') {
      const std::size_t nameStart = i + 2;
      const std::size_t nameEnd = XmlNameEnd(text, nameStart);
      const std::u16string_view name = text.substr(nameStart, nameEnd - nameStart);
      const std::size_t close = text.find(u'>', nameEnd);
      if (close == kNone) {
        state.illFormed = true;
        AddResult(u"unterminated_tag_syntax", {{u"tagname", std::u16string(name)}, {u"offset", Number(i)}});
        break;
      }
      const std::size_t tagEnd = close + 1;
      std::size_t match = state.open.size();
      while (match > 0) {
        const std::size_t openStart = records_[state.open[match - 1].index].offset + 1;
        if (XmlNameEnd(text, openStart) - openStart == name.size() && text.compare(openStart, name.size(), name) == 0)
          break;
        --match;
      }
      if (match == 0) {
        state.illFormed = true;
        AddResult(u"lone_end_tag", {{u"tagname", std::u16string(name)}, {u"offset", Number(i)}});
        i = tagEnd;
        continue;
      }
      while (state.open.size() > match) endUnended(i);
      XmlElementRecord& record = records_[state.open.back().index];
      record.length = tagEnd - record.offset;
      record.endTagLength = tagEnd - i;
      state.open.pop_back();
      i = tagEnd;
      continue;
    }
    if (!IsXmlNameStart(c)) {
      syntax(u"first_tag_syntax", i);
      ++i;
      continue;
    }

    // A start tag: attributes may hold ">" inside quotes.
    const std::size_t nameEnd = XmlNameEnd(text, i + 1);
    std::size_t j = nameEnd;
    std::size_t tagEnd = kNone;
    while (j < n) {
      const char16_t ch = text[j];
      if (ch == u'"' || ch == u'\'') {
        const std::size_t quote = text.find(ch, j + 1);
        if (quote == kNone) {
          j = n;
          break;
        }
        j = quote + 1;
      } else if (ch == u'>') {
        tagEnd = j + 1;
        break;
      } else if (ch == u'<') {
        break;
      } else {
        ++j;
      }
    }
    if (tagEnd == kNone) {
      state.illFormed = true;
      AddResult(u"unterminated_tag_syntax",
                {{u"tagname", std::u16string(text.substr(i + 1, nameEnd - i - 1))}, {u"offset", Number(i)}});
      if (j < n) {  // a "<" cut the tag short: go on from there
        i = j;
        continue;
      }
      break;
    }
    const std::uint32_t index = records_.Add();
    if (index == 0) {
      state.illFormed = true;
      break;
    }
    const std::uint32_t parent = state.open.empty() ? 0 : state.open.back().index;
    XmlElementRecord& record = records_[index];
    record.offset = i;
    record.startTagLength = tagEnd - i;
    record.parent = parent;
    std::uint32_t& lastChild = state.LastChild();
    if (lastChild != 0) {
      records_[lastChild].nextSibling = index;
      record.previousSibling = lastChild;
    } else {
      records_[parent].firstChild = index;
    }
    lastChild = index;
    if (text[tagEnd - 2] == u'/' && tagEnd - 2 >= nameEnd) {
      record.length = record.startTagLength;
      record.flags = kXmlEmptyTag;
    } else {
      state.open.push_back({index, 0});
    }
    i = tagEnd;
  }
  while (!state.open.empty()) endUnended(n);

  const std::uint32_t first = records_[0].firstChild;
  if (first == 0) {
    AddResult(u"no_root_element", {});
  } else if (const std::uint32_t second = records_[first].nextSibling; second != 0) {
    AddResult(u"root_has_sibling", {{u"tagname", TagNameOf(second)}, {u"offset", Number(records_[second].offset)}});
  }
  if (state.illFormed) records_[0].flags |= kXmlIllFormed;
  wellFormed_ = !state.illFormed && first != 0 && records_[first].nextSibling == 0;
  return wellFormed_;
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
