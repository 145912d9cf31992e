#include "support/XmlDocument.h"

#include <gtest/gtest.h>

#include <string>

namespace sealrun::support {
namespace {

constexpr std::u16string_view kConfig =
    u"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Brasmoor>\r\n\t<QuoralPDFXML>\r\n\t<Enabled>0</Enabled>\r\n"
    u"\t<FontName>Batang</FontName>\r\n</QuoralPDFXML>\r\n<HANDWRITE><HandPenColor/><HandPenWidth>2</HandPenWidth>"
    u"</HANDWRITE>\r\n</Brasmoor>\r\n";

bool HasEntry(const XmlDocument& document, std::u16string_view event) {
  return document.ResultText().find(u"<" + std::u16string(event) + u" ") != std::u16string::npos ||
         document.ResultText().find(u"<" + std::u16string(event) + u"/>") != std::u16string::npos;
}

// Walks Brasmoor / section / key as the handwriting settings writer does.
bool MoveToKey(XmlDocument& document, std::u16string_view section, std::u16string_view key) {
  document.ResetPosition();
  return document.FindSibling(u"Brasmoor") && document.EnterElement() && document.FindSibling(section) &&
         document.EnterElement() && document.FindSibling(key);
}

TEST(XmlDocument, NavigatesLevelByLevelAndOnlyFindsNamesOfTheCurrentLevel) {
  XmlDocument document;
  ASSERT_TRUE(document.SetDocumentText(kConfig));
  EXPECT_TRUE(document.ResultText().empty());
  EXPECT_EQ(document.ElementCount(), 7u);

  document.ResetPosition();
  EXPECT_FALSE(document.FindSibling(u"Enabled"));  // only deeper in the tree
  EXPECT_FALSE(document.LeaveElement());
  ASSERT_TRUE(document.FindSibling(u"Brasmoor"));
  EXPECT_FALSE(document.FindSibling(u"Brasmoor"));  // no second one; position kept
  EXPECT_EQ(document.TagName(), u"Brasmoor");
  ASSERT_TRUE(document.EnterElement());
  EXPECT_FALSE(document.EnterElement());  // no main element inside yet
  document.ResetPosition();
  ASSERT_TRUE(MoveToKey(document, u"QuoralPDFXML", u"FontName"));
  EXPECT_EQ(document.Content(), u"Batang");

  // Leaving comes back to the section with the key as the child position; entering again restores it.
  ASSERT_TRUE(document.LeaveElement());
  EXPECT_EQ(document.TagName(), u"QuoralPDFXML");
  ASSERT_TRUE(document.EnterElement());
  EXPECT_EQ(document.TagName(), u"FontName");
  ASSERT_TRUE(document.LeaveElement());
  ASSERT_TRUE(document.LeaveElement());
  EXPECT_EQ(document.TagName(), u"Brasmoor");
  EXPECT_FALSE(document.LeaveElement());

  // An empty name takes any element, in document order; a name must match whole ("Hand" is not "HandPenColor").
  ASSERT_TRUE(MoveToKey(document, u"HANDWRITE", u""));
  EXPECT_EQ(document.TagName(), u"HandPenColor");
  EXPECT_FALSE(document.FindSibling(u"Hand"));
  ASSERT_TRUE(document.FindSibling(u""));
  EXPECT_EQ(document.TagName(), u"HandPenWidth");

  XmlDocument empty;
  EXPECT_FALSE(empty.SetDocumentText(std::nullopt));
  EXPECT_FALSE(empty.FindSibling(u""));
  EXPECT_FALSE(empty.EnterElement());
  EXPECT_FALSE(empty.ReplaceContent(u"x"));
}

TEST(XmlDocument, ReplaceContentEscapesAndShiftsEveryLaterElement) {
  XmlDocument document;
  ASSERT_TRUE(document.SetDocumentText(kConfig));
  ASSERT_TRUE(MoveToKey(document, u"QuoralPDFXML", u"Enabled"));
  ASSERT_TRUE(document.ReplaceContent(u"a<b & \"c\" 'd'>"));
  EXPECT_EQ(document.Content(), u"a&lt;b &amp; \"c\" 'd'&gt;");

  // Every element found after the edit stands exactly where a fresh parse of the edited text puts it.
  XmlDocument reparsed;
  ASSERT_TRUE(reparsed.SetDocumentText(document.DocumentText()));
  for (const auto& [section, key] : {std::pair{u"QuoralPDFXML", u"FontName"}, std::pair{u"HANDWRITE", u"HandPenWidth"},
                                     std::pair{u"QuoralPDFXML", u"Enabled"}}) {
    ASSERT_TRUE(MoveToKey(document, section, key));
    ASSERT_TRUE(MoveToKey(reparsed, section, key));
    const auto edited = document.MainElement();
    const auto fresh = reparsed.MainElement();
    EXPECT_EQ(edited->offset, fresh->offset);
    EXPECT_EQ(edited->length, fresh->length);
    ASSERT_TRUE(document.LeaveElement());
    ASSERT_TRUE(reparsed.LeaveElement());
    EXPECT_EQ(document.MainElement()->length, reparsed.MainElement()->length);  // the section grew too
  }
  document.ResetPosition();
  ASSERT_TRUE(document.FindSibling(u"Brasmoor"));
  EXPECT_EQ(document.MainElement()->length, document.DocumentText().size() - document.MainElement()->offset - 2);

  // Attribute mode also escapes quotes.
  ASSERT_TRUE(MoveToKey(document, u"QuoralPDFXML", u"FontName"));
  ASSERT_TRUE(document.ReplaceContent(u"\"'", XmlContentMode::Attribute));
  EXPECT_EQ(document.Content(), u"&quot;&apos;");
}

TEST(XmlDocument, ReplaceContentRewritesAnEmptyTagAndRefusesAnElementWithChildren) {
  XmlDocument document;
  ASSERT_TRUE(document.SetDocumentText(u"<r><a x=\"1\" //><b><c/></b><d/></r>"));
  document.ResetPosition();
  ASSERT_TRUE(document.FindSibling(u"r") && document.EnterElement() && document.FindSibling(u"a"));
  ASSERT_TRUE(document.ReplaceContent(u"1<2"));
  EXPECT_EQ(document.DocumentText(), u"<r><a x=\"1\">1&lt;2</a><b><c/></b><d/></r>");
  EXPECT_FALSE(document.MainElement()->emptyTag);
  EXPECT_EQ(document.Content(), u"1&lt;2");

  ASSERT_TRUE(document.FindSibling(u"b"));
  const std::u16string before = document.DocumentText();
  EXPECT_FALSE(document.ReplaceContent(u"text"));
  EXPECT_EQ(document.DocumentText(), before);

  ASSERT_TRUE(document.EnterElement() && document.FindSibling(u"c"));
  ASSERT_TRUE(document.ReplaceContent(u"", XmlContentMode::CData));
  ASSERT_TRUE(document.LeaveElement() && document.FindSibling(u"d"));
  ASSERT_TRUE(document.ReplaceContent(u"x]]>y]]>", XmlContentMode::CData));
  EXPECT_EQ(document.DocumentText(),
            u"<r><a x=\"1\">1&lt;2</a><b><c><![CDATA[]]></c></b>"
            u"<d><![CDATA[x]]]]><![CDATA[>y]]]]><![CDATA[>]]></d></r>");
  XmlDocument reparsed;
  EXPECT_TRUE(reparsed.SetDocumentText(document.DocumentText())) << std::string(reparsed.ResultText().begin(), reparsed.ResultText().end());
  EXPECT_EQ(reparsed.ElementCount(), document.ElementCount());
}

TEST(XmlDocument, ReportsEachSyntaxProblemAndKeepsWhatItCouldIndex) {
  struct Case {
    std::u16string_view text;
    std::u16string_view event;
  };
  for (const Case& c : {
           Case{u"", u"no_root_element"},
           Case{u"just text", u"no_root_element"},
           Case{u"<a/><b/>", u"root_has_sibling"},
           Case{u"<a></b></a>", u"lone_end_tag"},
           Case{u"<a><b></a>", u"unended_start_tag"},
           Case{u"<a><b>", u"unended_start_tag"},
           Case{u"<a>< b</a>", u"first_tag_syntax"},
           Case{u"<a><", u"first_tag_syntax"},
           Case{u"<a><!x></a>", u"exclamation_tag_syntax"},
           Case{u"<!DOCTYPE a [<!ENTITY e \"x\">", u"doctype_tag_syntax"},
           Case{u"<a><!-- open", u"comment_tag_syntax"},
           Case{u"<a><![CDATA[ x", u"cdata_section_syntax"},
           Case{u"<a b=\"1></a>", u"unterminated_tag_syntax"},
           Case{u"<a><b c='1'<d/></a>", u"unterminated_tag_syntax"},
           Case{u"<a><?pi", u"unterminated_tag_syntax"},
       }) {
    XmlDocument document;
    EXPECT_FALSE(document.SetDocumentText(c.text)) << std::string(c.event.begin(), c.event.end());
    EXPECT_TRUE(HasEntry(document, c.event)) << std::string(document.ResultText().begin(), document.ResultText().end());
  }

  // Markup that only looks like tags is stepped over.
  XmlDocument fine;
  EXPECT_TRUE(fine.SetDocumentText(u"<!DOCTYPE r [<!ELEMENT r ANY>]><r a='>'><!-- <x> --><![CDATA[<y>]]><?p <z>?></r>"));
  EXPECT_EQ(fine.ElementCount(), 1u);

  // An end tag that closes an outer element ends the inner one at its start tag; its children move up.
  XmlDocument broken;
  EXPECT_FALSE(broken.SetDocumentText(u"<r><a><b/><c/></r>"));
  broken.ResetPosition();
  ASSERT_TRUE(broken.FindSibling(u"r") && broken.EnterElement() && broken.FindSibling(u"a"));
  EXPECT_TRUE(broken.MainElement()->unended);
  EXPECT_EQ(broken.MainElement()->length, 3u);
  EXPECT_FALSE(broken.ReplaceContent(u"x"));
  ASSERT_TRUE(broken.FindSibling(u"b"));
  ASSERT_TRUE(broken.FindSibling(u"c"));
  ASSERT_TRUE(broken.LeaveElement());
  EXPECT_EQ(broken.MainElement()->length, 18u);
  EXPECT_NE(broken.ResultText().find(u"<unended_start_tag tagname=\"a\" offset=\"3\" offset2=\"14\"/>"),
            std::u16string::npos);
}

TEST(XmlDocument, ElementsInsideUnendedOnesBelongToTheNearestAncestorThatEnded) {
  XmlDocument document;
  EXPECT_FALSE(document.SetDocumentText(u"<r><a><b><c><d>x</d></c></r>"));
  EXPECT_EQ(document.ResultText(),
            u"<unended_start_tag tagname=\"b\" offset=\"6\" offset2=\"24\"/>"
            u"<unended_start_tag tagname=\"a\" offset=\"3\" offset2=\"24\"/>");
  document.ResetPosition();
  ASSERT_TRUE(document.FindSibling(u"r") && document.EnterElement());
  ASSERT_TRUE(document.FindSibling(u"a"));
  EXPECT_TRUE(document.MainElement()->unended);
  ASSERT_TRUE(document.FindSibling(u"b"));
  EXPECT_TRUE(document.MainElement()->unended);
  ASSERT_TRUE(document.FindSibling(u"c"));
  EXPECT_FALSE(document.MainElement()->unended);
  ASSERT_TRUE(document.EnterElement() && document.FindSibling(u"d"));

  // c went up two levels: an edit inside it grows c and r, never the unended elements it left.
  ASSERT_TRUE(document.ReplaceContent(u"xyz"));
  EXPECT_EQ(document.DocumentText(), u"<r><a><b><c><d>xyz</d></c></r>");
  ASSERT_TRUE(document.LeaveElement());
  EXPECT_EQ(document.TagName(), u"c");
  EXPECT_EQ(document.MainElement()->length, 17u);
  ASSERT_TRUE(document.LeaveElement());
  EXPECT_EQ(document.TagName(), u"r");
  EXPECT_EQ(document.MainElement()->length, document.DocumentText().size());
  document.ResetPosition();
  ASSERT_TRUE(document.FindSibling(u"r") && document.EnterElement() && document.FindSibling(u"a"));
  EXPECT_EQ(document.MainElement()->length, 3u);
  ASSERT_TRUE(document.FindSibling(u"b"));
  EXPECT_EQ(document.MainElement()->length, 3u);
}

TEST(XmlDocument, AnEndTagClosesTheInnermostOpenElementOfItsName) {
  // The stray </z> is looked up among the open elements by name; the first </a> closes the inner a, the second
  // the outer one, ending b and c unended on the way.
  XmlDocument document;
  EXPECT_FALSE(document.SetDocumentText(u"<r><a><b><a></z></a><c></a></r>"));
  EXPECT_EQ(document.ResultText(),
            u"<lone_end_tag tagname=\"z\" offset=\"12\"/>"
            u"<unended_start_tag tagname=\"c\" offset=\"20\" offset2=\"23\"/>"
            u"<unended_start_tag tagname=\"b\" offset=\"6\" offset2=\"23\"/>");
  document.ResetPosition();
  ASSERT_TRUE(document.FindSibling(u"r") && document.EnterElement() && document.FindSibling(u"a"));
  EXPECT_EQ(document.MainElement()->offset, 3u);
  EXPECT_EQ(document.MainElement()->length, 24u);
  ASSERT_TRUE(document.EnterElement() && document.FindSibling(u""));
  EXPECT_EQ(document.TagName(), u"b");
  ASSERT_TRUE(document.FindSibling(u""));
  EXPECT_EQ(document.TagName(), u"a");
  EXPECT_EQ(document.MainElement()->offset, 9u);
  EXPECT_EQ(document.MainElement()->length, 11u);
  ASSERT_TRUE(document.FindSibling(u""));
  EXPECT_EQ(document.TagName(), u"c");
  EXPECT_TRUE(document.MainElement()->unended);
  EXPECT_FALSE(document.FindSibling(u""));

  // Thousands of elements left open, and as many stray end tags among them, index as a short document does.
  std::u16string deep;
  for (int i = 0; i < 3000; ++i) deep += u"<e>";
  EXPECT_FALSE(document.SetDocumentText(deep));
  EXPECT_TRUE(
      document.ResultText().starts_with(u"<unended_start_tag tagname=\"e\" offset=\"8997\" offset2=\"9000\"/>"));
  document.ResetPosition();
  std::size_t siblings = 0;
  while (document.FindSibling(u"e") && document.MainElement()->unended) ++siblings;
  EXPECT_EQ(siblings, 3000u) << "every unended element hands its children on, up to the top level";

  std::u16string stray = u"<r>" + deep;
  for (int i = 0; i < 3000; ++i) stray += u"</x>";
  for (int i = 0; i < 3000; ++i) stray += u"</e>";
  stray += u"</r>";
  EXPECT_FALSE(document.SetDocumentText(stray));
  EXPECT_TRUE(document.ResultText().starts_with(u"<lone_end_tag tagname=\"x\" offset=\"9003\"/>"));
  document.ResetPosition();
  ASSERT_TRUE(document.FindSibling(u"r"));
  EXPECT_EQ(document.MainElement()->length, stray.size());
  int depth = 0;
  while (document.EnterElement() && document.FindSibling(u"e")) ++depth;
  EXPECT_EQ(depth, 3000);
  ASSERT_TRUE(document.LeaveElement());
  EXPECT_EQ(document.MainElement()->length, 3u + 4u * 3000u + 4u) << "the innermost e closes after every stray tag";
}

TEST(XmlDocument, ResultTextStopsGrowingAndCapacityFollowsTheDocumentLength) {
  std::u16string text = u"<r>";
  for (int i = 0; i < 500; ++i) text += u"</x>";
  text += u"</r>";
  XmlDocument document;
  EXPECT_FALSE(document.SetDocumentText(text));
  EXPECT_GT(document.ResultText().size(), 999u);
  EXPECT_LT(document.ResultText().size(), 1100u);

  std::u16string big = u"<r>";
  while (big.size() < 1'200'000) big += u"<e>v</e>";
  big += u"</r>";
  ASSERT_TRUE(document.SetDocumentText(big));
  EXPECT_EQ(document.ElementCount(), (big.size() - 7) / 8 + 1);
  EXPECT_GE(document.ElementCapacity(), big.size() / 64 + 8);
  document.ResetPosition();
  ASSERT_TRUE(document.FindSibling(u"r") && document.EnterElement());
  std::size_t count = 0;
  while (document.FindSibling(u"e")) ++count;
  EXPECT_EQ(count, document.ElementCount() - 1);
}

}  // namespace
}  // namespace sealrun::support
