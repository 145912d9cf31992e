#include <gtest/gtest.h>

#include <string>

#include "platform/text/CodePage.h"
#include "platform/text/Utf.h"
#include "support/XmlDocument.h"
#include "support/XmlUtf8.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::support {
namespace {

using sealrun::testing::ReadFileBytes;
using sealrun::testing::TempDir;
using sealrun::testing::WriteFileBytes;

std::string Narrow(const std::u16string& text) { return platform::text::FromUtf16(text, platform::text::kCpUtf8); }

bool SetKey(XmlDocument& document, std::u16string_view key, std::u16string_view value) {
  document.ResetPosition();
  return document.FindSibling(u"Brasmoor") && document.EnterElement() && document.FindSibling(u"HANDWRITE") &&
         document.EnterElement() && document.FindSibling(key) && document.ReplaceContent(value);
}

std::string Utf16Bytes(std::u16string_view text, bool bigEndian) {
  std::string bytes;
  for (const char16_t unit : text) {
    const char low = static_cast<char>(unit & 0xFF);
    const char high = static_cast<char>(unit >> 8);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
  }
  return bytes;
}

class XmlDocumentFile : public ::testing::Test {
 protected:
  void SetUp() override {
    savedAnsi_ = platform::text::AnsiCodePage();
    platform::text::SetAnsiCodePage(936);
  }
  void TearDown() override { platform::text::SetAnsiCodePage(savedAnsi_); }

  // Loads `bytes`, sets HandFontName to `value`, saves and returns the saved bytes.
  std::string RoundTrip(const std::string& bytes, std::u16string_view value, XmlDocument& document) {
    WriteFileBytes(file_, bytes);
    EXPECT_TRUE(document.LoadFile(file_)) << Narrow(document.ResultText());
    EXPECT_TRUE(SetKey(document, u"HandFontName", value));
    EXPECT_TRUE(document.SaveFile(file_)) << Narrow(document.ResultText());
    return ReadFileBytes(file_);
  }

  TempDir dir_;
  std::filesystem::path file_ = dir_ / "OrtavexConfig.dll";
  platform::text::CodePage savedAnsi_ = 0;
};

TEST_F(XmlDocumentFile, Utf8KeepsItsByteOrderMarkOrItsAbsence) {
  const std::string body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Brasmoor><HANDWRITE>"
                           "<HandFontName>\xE5\xAE\x8B\xE4\xBD\x93</HandFontName></HANDWRITE></Brasmoor>\r\n";
  const std::string edited = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Brasmoor><HANDWRITE>"
                             "<HandFontName>\xE9\xBB\x91 &amp;</HandFontName></HANDWRITE></Brasmoor>\r\n";
  XmlDocument document;
  EXPECT_EQ(RoundTrip("\xEF\xBB\xBF" + body, u"黑 &", document), "\xEF\xBB\xBF" + edited);
  EXPECT_EQ(document.ByteOrderMark(), XmlByteOrderMark::Utf8);
  EXPECT_EQ(RoundTrip(body, u"黑 &", document), edited);
  EXPECT_EQ(document.ByteOrderMark(), XmlByteOrderMark::None);
  EXPECT_NE(document.ResultText().find(u"<write encoding=\"utf-8\""), std::u16string::npos);
}

TEST_F(XmlDocumentFile, AFileWithoutTheSectionIsSavedByteForByteUnchanged) {
  const std::string initial =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n<Brasmoor>\r\n\t<QuoralPDFXML>\r\n"
      "\t<Enabled>0</Enabled>\r\n\t<FontName>Batang</FontName>\r\n\t<FontSize>20</FontSize>\r\n"
      "\t<FontColor>#000000</FontColor>\r\n\t<PostitonLefe>0</PostitonLefe>\r\n\t<PostitonTop>0</PostitonTop>\r\n"
      "\t<DateTimeIndex>1</DateTimeIndex>\r\n\t<bAutoZoom>0</bAutoZoom>\r\n</QuoralPDFXML>\r\n</Brasmoor>\r\n";
  WriteFileBytes(file_, initial);
  XmlDocument document;
  ASSERT_TRUE(document.LoadFile(file_)) << Narrow(document.ResultText());
  EXPECT_FALSE(SetKey(document, u"HandPenColor", u"255"));
  ASSERT_TRUE(document.SaveFile(file_));
  EXPECT_EQ(ReadFileBytes(file_), initial);
}

TEST_F(XmlDocumentFile, Utf16InEitherByteOrderIsReadDirectlyAndWrittenBackTheSameWay) {
  const std::u16string text = u"<Brasmoor><HANDWRITE><HandFontName>宋体</HandFontName></HANDWRITE></Brasmoor>";
  const std::u16string edited = u"<Brasmoor><HANDWRITE><HandFontName>黑体</HandFontName></HANDWRITE></Brasmoor>";
  for (const bool bigEndian : {false, true}) {
    const std::string mark = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    XmlDocument document;
    // A stray zero character is dropped on reading.
    const std::u16string withNull = text.substr(0, 10) + u'\0' + text.substr(10);
    EXPECT_EQ(RoundTrip(mark + Utf16Bytes(withNull, bigEndian), u"黑体", document), mark + Utf16Bytes(edited, bigEndian));
    EXPECT_EQ(document.ByteOrderMark(), bigEndian ? XmlByteOrderMark::Utf16Be : XmlByteOrderMark::Utf16Le);
    ASSERT_TRUE(document.LoadFile(file_));
    EXPECT_EQ(document.ResultText().find(u"nulls_removed"), std::u16string::npos);
    EXPECT_EQ(document.ResultText().find(u"endian_swap") != std::u16string::npos, bigEndian);
    WriteFileBytes(file_, mark + Utf16Bytes(withNull, bigEndian));
    ASSERT_TRUE(document.LoadFile(file_));
    EXPECT_NE(document.ResultText().find(u"<nulls_removed count=\"1\"/>"), std::u16string::npos);
  }
}

TEST_F(XmlDocumentFile, DeclaredGb2312InAnyCaseIsReadAndWrittenInCodePage936) {
  for (const std::string name : {"gb2312", "GB2312", "Gb2312"}) {
    const std::string head = "<?xml version=\"1.0\" encoding=\"" + name + "\"?>\r\n<Brasmoor><HANDWRITE><HandFontName>";
    const std::string tail = "</HandFontName></HANDWRITE></Brasmoor>";
    XmlDocument document;
    EXPECT_EQ(RoundTrip(head + "\xCB\xCE\xCC\xE5" + tail, u"黑体", document), head + "\xBA\xDA\xCC\xE5" + tail);
    EXPECT_NE(document.ResultText().find(u"<write encoding=\"" + platform::text::Widen(name) + u"\""),
              std::u16string::npos);
    ASSERT_TRUE(document.LoadFile(file_));
    ASSERT_TRUE(SetKey(document, u"HandFontName", u""));
    EXPECT_EQ(document.DocumentText().find(u"宋体"), std::u16string::npos);
  }
}

TEST_F(XmlDocumentFile, UndeclaredEncodingsAreDetected) {
  XmlDocument document;
  // An HTML meta tag names the code page (the document itself is not well-formed XML).
  WriteFileBytes(file_, "<html><head><meta http-equiv=\"content-type\" content=\"text/html; Charset = GBK\">"
                        "<title>\xCB\xCE</title></head><body>\xCC\xE5</body></html>");
  EXPECT_FALSE(document.LoadFile(file_));
  EXPECT_NE(document.DocumentText().find(u"<title>宋</title>"), std::u16string::npos);
  EXPECT_NE(document.ResultText().find(u"<read encoding=\"GBK\""), std::u16string::npos);
  EXPECT_EQ(XmlDocument::DeclaredEncoding(u"<!DOCTYPE html><HTML><HEAD><META charset='big5'></HEAD></HTML>"), u"big5");
  EXPECT_EQ(XmlDocument::DeclaredEncoding(u"<html><body><meta charset='big5'></body></html>"), u"");

  // Neither a mark, a declaration nor a leading "<": valid UTF-8 is UTF-8, anything else the ANSI code page.
  WriteFileBytes(file_, " <r>\xE5\xAE\x8B</r>");
  EXPECT_TRUE(document.LoadFile(file_));
  EXPECT_NE(document.DocumentText().find(u"宋"), std::u16string::npos);
  EXPECT_NE(document.ResultText().find(u"<utf8_detection type=\"UTF-8\"/>"), std::u16string::npos);
  WriteFileBytes(file_, " <r>\xCB\xCE</r>");
  EXPECT_TRUE(document.LoadFile(file_));
  EXPECT_NE(document.DocumentText().find(u"宋"), std::u16string::npos);
  EXPECT_NE(document.ResultText().find(u"<read encoding=\"\""), std::u16string::npos);
}

TEST_F(XmlDocumentFile, SaveFileChoosesTheMarkTheDeclarationOrUtf8AndReportsLoss) {
  XmlDocument document;
  ASSERT_TRUE(document.SetDocumentText(u"<r>é</r>"));
  ASSERT_TRUE(document.SaveFile(file_));
  EXPECT_EQ(ReadFileBytes(file_), "<r>\xC3\xA9</r>");

  ASSERT_TRUE(document.SetDocumentText(u"<?xml version='1.0' encoding='windows-1252'?><r>é</r>"));
  ASSERT_TRUE(document.SaveFile(file_));
  EXPECT_EQ(ReadFileBytes(file_), "<?xml version='1.0' encoding='windows-1252'?><r>\xE9</r>");
  EXPECT_EQ(document.ResultText().find(u"conversion_loss"), std::u16string::npos);

  ASSERT_TRUE(document.SetDocumentText(u"<?xml version='1.0' encoding='UTF-16'?><r/>"));
  ASSERT_TRUE(document.SaveFile(file_));
  EXPECT_EQ(ReadFileBytes(file_), "\xFF\xFE" + Utf16Bytes(document.DocumentText(), false));
  ASSERT_TRUE(document.LoadFile(file_));

  // A character the declared encoding cannot hold is never written as "?": the file keeps what it had.
  const std::string kept = ReadFileBytes(file_);
  ASSERT_TRUE(document.SetDocumentText(u"<?xml version='1.0' encoding='iso-8859-1'?><r>宋é</r>"));
  EXPECT_FALSE(document.SaveFile(file_));
  EXPECT_EQ(ReadFileBytes(file_), kept);
  EXPECT_NE(document.ResultText().find(u"<conversion_loss encoding=\"iso-8859-1\"/>"), std::u16string::npos);

  // UTF-32 is written with its mark, so the file reads back.
  for (const bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian);
    const std::u16string text = bigEndian ? u"<?xml version='1.0' encoding='UTF-32BE'?><r>印章</r>"
                                          : u"<?xml version='1.0' encoding='UTF-32'?><r>印章</r>";
    ASSERT_TRUE(document.SetDocumentText(text));
    ASSERT_TRUE(document.SaveFile(file_));
    EXPECT_TRUE(ReadFileBytes(file_).starts_with(bigEndian ? std::string("\0\0\xFE\xFF", 4)
                                                           : std::string("\xFF\xFE\0\0", 4)));
    XmlDocument again;
    ASSERT_TRUE(again.LoadFile(file_));
    EXPECT_EQ(again.ByteOrderMark(), bigEndian ? XmlByteOrderMark::Utf32Be : XmlByteOrderMark::Utf32Le);
    EXPECT_EQ(again.DocumentText(), text);
    ASSERT_TRUE(again.SaveFile(file_));
    XmlDocument third;
    ASSERT_TRUE(third.LoadFile(file_));
    EXPECT_EQ(third.DocumentText(), text);
  }

  // An encoding nobody knows is not guessed at: nothing is written.
  ASSERT_TRUE(document.SetDocumentText(u"<?xml version='1.0' encoding='x-nonesuch'?><r/>"));
  EXPECT_FALSE(document.SaveFile(dir_ / "other.xml"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "other.xml"));
  EXPECT_NE(document.ResultText().find(u"<converted_from"), std::u16string::npos);
  EXPECT_FALSE(document.SaveFile(dir_ / "missing" / "folder.xml"));
}

TEST_F(XmlDocumentFile, BadFilesLoadAsFalseWithTheirReason) {
  struct Case {
    std::string bytes;
    std::u16string_view event;
  };
  for (const Case& c : {
           Case{"<Brasmoor/>\r\n<Other/>", u"root_has_sibling"},
           Case{"<r>\xE5\xAE\x8B\xE5\xAE", u"truncation_error"},
           Case{std::string("\xFF\xFE<\0r\0/\0>\0\x01", 11), u"truncation_error"},
           Case{"<r>\xFF\xFE\xFD</r>", u"converted_to"},
           Case{"<?xml version='1.0' encoding='x-nonesuch'?><r/>", u"converted_to"},
           Case{std::string("\x00\x01\x02\x03\x80\x81\xFE\xFF", 8), u"no_root_element"},
       }) {
    WriteFileBytes(file_, c.bytes);
    XmlDocument document;
    EXPECT_FALSE(document.LoadFile(file_)) << Narrow(std::u16string(c.event));
    EXPECT_NE(document.ResultText().find(u"<" + std::u16string(c.event)), std::u16string::npos)
        << Narrow(document.ResultText());
  }
  XmlDocument document;
  ASSERT_TRUE(document.SetDocumentText(u"<r/>"));
  EXPECT_FALSE(document.LoadFile(dir_ / "absent.dll"));
  EXPECT_NE(document.ResultText().find(u"<file_error type=\"read\" msg=\""), std::u16string::npos);
  EXPECT_TRUE(document.DocumentText().empty());
  EXPECT_FALSE(document.LoadFile(dir_.Path()));
  EXPECT_NE(document.ResultText().find(u"file_error"), std::u16string::npos);
  // A file too large to hold is refused before it is read (a sparse file costs no disk).
  WriteFileBytes(file_, "<r/>");
  std::filesystem::resize_file(file_, XmlDocument::kMaxFileBytes + 1);
  EXPECT_FALSE(document.LoadFile(file_));
  EXPECT_NE(document.ResultText().find(u"<file_error type=\"read\" msg=\"file too large\""), std::u16string::npos);
}

TEST(XmlUtf8, FastReaderAgreesWithTheGeneralConverterAndRejectsWhatItCannotReadExactly) {
  for (const std::string valid : {"", "plain ascii text longer than eight", "\xE5\xAE\x8B\xE4\xBD\x93", "a\xC3\xA9",
                                  "\xF0\x9F\x98\x80 emoji", "\xEF\xBF\xBF\xF4\x8F\xBF\xBF"}) {
    const auto decoded = DecodeValidUtf8(valid);
    ASSERT_TRUE(decoded.has_value()) << valid;
    EXPECT_EQ(*decoded, platform::text::Utf8ToUtf16(valid)) << valid;
  }
  for (const std::string invalid : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "abcdefgh\xE5\xAE", "\x80",
                                    "\xF8\x88\x80\x80\x80", "\xE5\x41\x8B"}) {
    EXPECT_FALSE(DecodeValidUtf8(invalid).has_value()) << invalid;
  }
}

}  // namespace
}  // namespace sealrun::support
