#include "platform/xmldom/XmlDom.h"

#include <gtest/gtest.h>

#include <cstdint>

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

TEST(XmlDom, Gb2312IsReadAndWrittenAsCodePage936WithoutLosingAnything) {
  // 門 and 臺灣 are in GBK (code page 936, what Windows reads for "gb2312") but not in strict GB2312.
  TempDir dir;
  const auto path = dir / "BatchPDFConfig.dll";
  const std::string before =
      "<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<Brasmoor><S><SigFilePath>D:\\\xE9T.png</SigFilePath>"
      "<Note>\xC5_\x9E\xB3 \xE9T</Note></S></Brasmoor>\r\n";
  WriteFileBytes(path, before);
  auto document = XmlDomDocument::Create();
  ASSERT_TRUE(document->Load(path));
  XmlDomNode sigFile = FindElement(FindElement(document->DocumentElement(), u"S"), u"SigFilePath");
  EXPECT_EQ(sigFile.TypedValueText(), u"D:\\門.png");
  ASSERT_TRUE(sigFile.SetText(u"D:\\印章.png"));
  ASSERT_TRUE(document->Save(path));
  std::string expected = before;
  expected.replace(expected.find("\xE9T.png"), 6, "\xD3\xA1\xD5\xC2.png");
  EXPECT_EQ(ReadFileBytes(path), expected);

  // A character code page 936 cannot hold is never written as "?": the file keeps what it had.
  ASSERT_TRUE(document->Load(path));
  ASSERT_TRUE(FindElement(FindElement(document->DocumentElement(), u"S"), u"SigFilePath").SetText(u"D:\\ก.png"));
  EXPECT_FALSE(document->SaveToBytes());
  EXPECT_FALSE(document->Save(path));
  EXPECT_EQ(ReadFileBytes(path), expected);

  // Bytes that do not decode were read as "?": writing them back would lose them.
  WriteFileBytes(path, "<?xml version=\"1.0\" encoding=\"gbk\"?><r><k>\x81</k><m>x</m></r>");
  ASSERT_TRUE(document->Load(path));
  ASSERT_TRUE(FindElement(document->DocumentElement(), u"m").SetText(u"y"));
  EXPECT_FALSE(document->Save(path));
  EXPECT_EQ(ReadFileBytes(path), "<?xml version=\"1.0\" encoding=\"gbk\"?><r><k>\x81</k><m>x</m></r>");
}

TEST(XmlDom, Utf16AndUtf32AreToldFromTheirFirstBytesWithOrWithoutAMark) {
  const std::u16string text = u"<?xml version=\"1.0\"?><r><k>印章</k></r>";
  const std::u16string changed = u"<?xml version=\"1.0\"?><r><k>门</k></r>";
  const auto encode = [](std::u16string_view units, bool wide32, bool bigEndian) {
    std::string bytes;
    for (const char16_t unit : units) {
      const std::uint32_t value = unit;
      const int size = wide32 ? 4 : 2;
      for (int i = 0; i < size; ++i) {
        const int shift = 8 * (bigEndian ? size - 1 - i : i);
        bytes += static_cast<char>((value >> shift) & 0xFF);
      }
    }
    return bytes;
  };
  for (const bool wide32 : {false, true}) {
    for (const bool bigEndian : {false, true}) {
      for (const bool marked : {false, true}) {
        SCOPED_TRACE(std::string(wide32 ? "UTF-32" : "UTF-16") + (bigEndian ? "BE" : "LE") + (marked ? " with mark" : ""));
        const std::string bytes = encode(marked ? u"\uFEFF" + text : text, wide32, bigEndian);
        auto document = XmlDomDocument::Create();
        ASSERT_TRUE(document->LoadText(bytes));
        XmlDomNode key = FindElement(document->DocumentElement(), u"k");
        EXPECT_EQ(key.TypedValueText(), u"印章");
        // Written back in the same encoding, with the mark only when it had one.
        EXPECT_EQ(document->SaveToBytes(), bytes);
        key.SetText(u"门");
        EXPECT_EQ(document->SaveToBytes(), encode(marked ? u"\uFEFF" + changed : changed, wide32, bigEndian));
      }
    }
  }
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
