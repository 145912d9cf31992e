#include "platform/xmldom/XmlDom.h"

#include <gtest/gtest.h>

#include "tests/testsupport/TempDir.h"

namespace sealrun::platform::xmldom {
namespace {

using sealrun::testing::ReadFileBytes;
using sealrun::testing::TempDir;
using sealrun::testing::WriteFileBytes;

const std::string kSettings =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Brasmoor>\r\n\t<Public>\r\n\t\t<WebUrl> http://sign.example/ </WebUrl>\r\n"
    "\t\t<Empty/>\r\n\t</Public>\r\n</Brasmoor>\r\n";

XmlDomNode FindElement(const XmlDomNode& parent, std::u16string_view name) {
  for (const auto& child : parent.ChildNodes())
    if (child.IsElement() && child.NodeName() == name) return child;
  return {};
}

TEST(XmlDom, ReadsSectionsAndKeysWithTrimmedValues) {
  auto document = XmlDomDocument::Create();
  ASSERT_TRUE(document);
  ASSERT_TRUE(document->LoadText("\xEF\xBB\xBF" + kSettings));
  const XmlDomNode root = document->DocumentElement();
  EXPECT_EQ(root.NodeName(), u"Brasmoor");
  const XmlDomNode section = FindElement(root, u"Public");
  ASSERT_TRUE(section);
  EXPECT_EQ(FindElement(section, u"WebUrl").TypedValueText(), u"http://sign.example/");
  EXPECT_EQ(FindElement(section, u"Empty").TypedValueText(), u"");
  EXPECT_FALSE(FindElement(section, u"webUrl"));  // names are case-sensitive
}

TEST(XmlDom, SavesWithTheByteOrderMarkItWasReadWithAndKeepsTheLayout) {
  TempDir dir;
  for (const bool withBom : {true, false}) {
    SCOPED_TRACE(withBom);
    const auto path = dir / "settings.dll";
    WriteFileBytes(path, (withBom ? "\xEF\xBB\xBF" : "") + kSettings);
    auto document = XmlDomDocument::Create();
    ASSERT_TRUE(document->Load(path));
    ASSERT_TRUE(FindElement(FindElement(document->DocumentElement(), u"Public"), u"Empty").SetText(u"a<b & 印章"));
    ASSERT_TRUE(document->Save(path));
    std::string expected = kSettings;
    expected.replace(expected.find("<Empty/>"), 8, "<Empty>a&lt;b &amp; \xE5\x8D\xB0\xE7\xAB\xA0</Empty>");
    EXPECT_EQ(ReadFileBytes(path), (withBom ? "\xEF\xBB\xBF" : "") + expected);
  }
}

TEST(XmlDom, KeepsADeclaredLegacyEncodingAndUtf16) {
  const std::string gbk = "<?xml version=\"1.0\" encoding=\"GB2312\"?><r><k>\xD3\xA1</k></r>";  // 印 in GB2312
  auto document = XmlDomDocument::Create();
  ASSERT_TRUE(document->LoadText(gbk));
  XmlDomNode key = FindElement(document->DocumentElement(), u"k");
  EXPECT_EQ(key.TypedValueText(), u"印");
  key.SetText(u"章");
  EXPECT_EQ(document->SaveToBytes(), "<?xml version=\"1.0\" encoding=\"GB2312\"?><r><k>\xD5\xC2</k></r>");

  const std::string utf16 = std::string("\xFF\xFE<\0r\0>\0x\0<\0/\0r\0>\0", 18);
  ASSERT_TRUE(document->LoadText(utf16));
  EXPECT_EQ(document->DocumentElement().TypedValueText(), u"x");
  EXPECT_EQ(document->SaveToBytes(), utf16);
}

TEST(XmlDom, RefusesWhatIsNotAWellFormedDocument) {
  TempDir dir;
  auto document = XmlDomDocument::Create();
  EXPECT_FALSE(document->Load(dir / "missing.dll"));
  EXPECT_FALSE(document->LoadText(""));
  EXPECT_FALSE(document->LoadText("<a><b></a>"));
  EXPECT_FALSE(document->LoadText("\x00\x01garbage"));
  EXPECT_FALSE(document->LoadText("<?xml version=\"1.0\" encoding=\"no-such\"?><a/>"));
  EXPECT_FALSE(document->DocumentElement());
  EXPECT_FALSE(document->DocumentElement().SetText(u"x"));
  EXPECT_FALSE(document->Save(dir / "no-folder" / "x.dll"));
}

}  // namespace
}  // namespace sealrun::platform::xmldom

namespace sealrun::platform::xmldom {
namespace {

TEST(XmlDom, AppendedElementsFollowTheIndentationOfTheirSiblings) {
  auto document = XmlDomDocument::Create();
  ASSERT_TRUE(document->LoadText("<r>\r\n\t<s>\r\n\t\t<a>1</a>\r\n\t</s>\r\n</r>\r\n"));
  XmlDomNode section = document->DocumentElement().ChildNodes()[1];
  ASSERT_EQ(section.NodeName(), u"s");
  ASSERT_TRUE(section.AppendElement(u"b").SetText(u"2"));
  EXPECT_EQ(document->SaveToBytes(), "<r>\r\n\t<s>\r\n\t\t<a>1</a>\r\n\t\t<b>2</b>\r\n\t</s>\r\n</r>\r\n");
  ASSERT_TRUE(document->LoadText("<r/>"));
  ASSERT_TRUE(document->DocumentElement().AppendElement(u"k").SetText(u"v"));
  EXPECT_EQ(document->SaveToBytes(), "<r><k>v</k></r>");
}

}  // namespace
}  // namespace sealrun::platform::xmldom
