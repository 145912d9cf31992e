// Objects: readers through references, key order across saves, stream data, constructors.
#include <cstring>

#include "tests/platform/pdfengine/EngineFixture.h"

namespace sealrun::platform::pdfengine::testing {
namespace {

using sealrun::testing::ReadFileBytes;

class CosTest : public EngineTest {};

std::vector<std::string> Keys(qp_cos dict) {
  std::vector<std::string> keys;
  for (int i = 0; i < qp_cos_dict_len(dict); ++i) keys.emplace_back(qp_cos_dict_get_key(dict, i));
  return keys;
}

TEST_F(CosTest, DictionariesKeepTheFileOrderBeforeAndAfterASave) {
  const auto path = CopyCorpus("pdfjs-tracemonkey.pdf");
  std::vector<std::string> before;
  {
    DocumentHandle document = Open(path);
    ASSERT_TRUE(document);
    PageHandle page = LoadPage(document.get(), 0);
    qp_cos dict = qp_page_object(page.get());
    before = Keys(dict);
    // The page as written in the file: its keys appear in this order.
    const int number = qp_cos_obj_num(dict);
    const std::string text = ReadFileBytes(path);
    const std::string header = "\n" + std::to_string(number) + " 0 obj";
    const auto at = text.find(header);
    ASSERT_NE(at, std::string::npos);
    std::size_t cursor = at;
    for (const auto& key : before) {
      const auto found = text.find("/" + key, cursor);
      ASSERT_NE(found, std::string::npos) << key;
      cursor = found;
    }
    qp_cos id = qp_cos_new_string(document.get(), "abc", 3, 0);
    ASSERT_EQ(qp_cos_dict_puts(dict, "ID", id), QP_OK);
    ASSERT_EQ(qp_cos_set_modify(document.get(), dict, 1), QP_OK);
    page.reset();
    ASSERT_EQ(qp_document_save(document.get()), QP_OK);
  }
  DocumentHandle reopened = Open(path);
  PageHandle page = LoadPage(reopened.get(), 0);
  std::vector<std::string> after = Keys(qp_page_object(page.get()));
  ASSERT_EQ(after.size(), before.size() + 1);
  EXPECT_EQ(after.back(), "ID");
  after.pop_back();
  EXPECT_EQ(after, before);
}

TEST_F(CosTest, ReadersSeeThroughReferences) {
  const auto path = CopyCorpus("pdfjs-issue14438.pdf");
  DocumentHandle document = Open(path);
  PageHandle page = LoadPage(document.get(), 0);
  qp_cos annots = qp_cos_dict_gets(qp_page_object(page.get()), "Annots");
  ASSERT_GT(qp_cos_array_len(annots), 0);
  qp_cos first = qp_cos_array_get(annots, 0);
  EXPECT_EQ(qp_cos_is_indirect(first), 1);
  EXPECT_EQ(qp_cos_is_dict(first), 1);
  EXPECT_EQ(qp_cos_is_array(first), 0);
  EXPECT_GT(qp_cos_obj_num(first), 0);
  EXPECT_NE(qp_cos_to_name(qp_cos_dict_gets(first, "Subtype")), nullptr);
  EXPECT_EQ(qp_cos_dict_gets(first, "NoSuchKey"), nullptr);
  EXPECT_EQ(qp_cos_obj_num(qp_cos_dict_gets(first, "Rect")), 0) << "a direct array";
  EXPECT_EQ(qp_cos_delete(first), QP_OK);
}

TEST_F(CosTest, StreamDataRawAndDecodedWithTheTwoCallProtocol) {
  const auto path = CopyCorpus("pypdf-crazyones.pdf");
  DocumentHandle document = Open(path);
  PageHandle page = LoadPage(document.get(), 0);
  qp_cos contents = qp_cos_dict_gets(qp_page_object(page.get()), "Contents");
  if (qp_cos_is_array(contents)) contents = qp_cos_array_get(contents, 0);
  ASSERT_EQ(qp_cos_is_stream(contents), 1);
  size_t rawLength = 0;
  size_t decodedLength = 0;
  ASSERT_EQ(qp_cos_stream_raw_to_buffer(contents, nullptr, &rawLength), QP_OK);
  ASSERT_EQ(qp_cos_stream_to_buffer(contents, nullptr, &decodedLength), QP_OK);
  EXPECT_GT(decodedLength, rawLength) << "the stream is compressed";
  std::string decoded(decodedLength, '\0');
  size_t shortLength = 4;
  EXPECT_EQ(qp_cos_stream_to_buffer(contents, decoded.data(), &shortLength), QP_ERR_BUFFER);
  EXPECT_EQ(shortLength, decodedLength);
  ASSERT_EQ(qp_cos_stream_to_buffer(contents, decoded.data(), &decodedLength), QP_OK);
  EXPECT_NE(decoded.find("BT"), std::string::npos);
  std::string raw(rawLength, '\0');
  ASSERT_EQ(qp_cos_stream_raw_to_buffer(contents, raw.data(), &rawLength), QP_OK);
  const int number = qp_cos_obj_num(contents);
  const ToolResult qpdfRaw = RunTool("qpdf --show-object=" + std::to_string(number) + " --raw-stream-data " + Quote(path));
  EXPECT_EQ(qpdfRaw.output, raw);
}

TEST_F(CosTest, NewObjectsRoundTripThroughASave) {
  const auto path = CopyCorpus("qpdf-minimal.pdf");
  const std::string binary("\x01\x02zz\xFF", 5);
  const std::string text = "plain text (with parentheses)\n";
  std::string payload;
  for (int i = 0; i < 2000; ++i) payload += "seal record line " + std::to_string(i) + "\r\n";
  int hexBefore = -1;
  int plainBefore = -1;
  {
    DocumentHandle document = Open(path);
    PageHandle page = LoadPage(document.get(), 0);
    qp_cos pageDict = qp_page_object(page.get());
    qp_cos info = qp_cos_new_dict(document.get(), 3, 0);
    ASSERT_EQ(qp_cos_dict_puts(info, "Unicode", qp_cos_new_bool(document.get(), 1)), QP_OK);
    ASSERT_EQ(qp_cos_dict_puts(info, "proVersion", qp_cos_new_int(document.get(), 10)), QP_OK);
    ASSERT_EQ(qp_cos_dict_puts(info, "Scale", qp_cos_new_real(document.get(), 0.1)), QP_OK);
    qp_cos binaryString = qp_cos_new_string(document.get(), binary.data(), 5, 1);
    qp_cos textString = qp_cos_new_string(document.get(), text.data(), static_cast<int>(text.size()), 0);
    hexBefore = qp_cos_string_is_hex(binaryString);
    plainBefore = qp_cos_string_is_hex(textString);
    ASSERT_EQ(qp_cos_dict_puts(info, "Bin", binaryString), QP_OK);
    ASSERT_EQ(qp_cos_dict_puts(info, "Text", textString), QP_OK);
    qp_cos streamDict = qp_cos_new_dict(document.get(), 1, 0);
    ASSERT_EQ(qp_cos_dict_puts(streamDict, "Filter", qp_cos_new_name(document.get(), "FlateDecode")), QP_OK);
    qp_cos stream = qp_cos_new_stream(document.get(), payload.data(), payload.size(), 1, streamDict, 0, 1);
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(qp_cos_dict_puts(stream, "strLen", qp_cos_new_int(document.get(), 7)), QP_OK);
    ASSERT_EQ(qp_cos_dict_puts(info, "BaseInfo", stream), QP_OK);
    ASSERT_EQ(qp_cos_dict_puts(pageDict, "Info", info), QP_OK);
    ASSERT_EQ(qp_cos_set_modify(document.get(), pageDict, 1), QP_OK);
    page.reset();
    ASSERT_EQ(qp_document_save(document.get()), QP_OK);
  }
  EXPECT_EQ(hexBefore, 1);
  EXPECT_EQ(plainBefore, 0);
  EXPECT_EQ(RunTool("qpdf --check " + Quote(path)).exitCode, 0);
  DocumentHandle document = Open(path);
  PageHandle page = LoadPage(document.get(), 0);
  qp_cos info = qp_cos_dict_gets(qp_page_object(page.get()), "Info");
  ASSERT_EQ(qp_cos_is_dict(info), 1);
  EXPECT_EQ(qp_cos_to_bool(qp_cos_dict_gets(info, "Unicode")), 1);
  EXPECT_EQ(qp_cos_to_int(qp_cos_dict_gets(info, "proVersion")), 10);
  EXPECT_EQ(qp_cos_to_double(qp_cos_dict_gets(info, "Scale")), 0.1);
  qp_cos binaryString = qp_cos_dict_gets(info, "Bin");
  ASSERT_EQ(qp_cos_to_string_len(binaryString), 5);
  EXPECT_EQ(std::memcmp(qp_cos_to_string(binaryString), binary.data(), 5), 0);
  EXPECT_EQ(qp_cos_string_is_hex(binaryString), hexBefore);
  EXPECT_EQ(qp_cos_string_is_hex(qp_cos_dict_gets(info, "Text")), plainBefore);
  qp_cos stream = qp_cos_dict_gets(info, "BaseInfo");
  ASSERT_EQ(qp_cos_is_stream(stream), 1);
  EXPECT_EQ(qp_cos_is_indirect(stream), 1);
  EXPECT_EQ(qp_cos_to_int(qp_cos_dict_gets(stream, "strLen")), 7);
  EXPECT_STREQ(qp_cos_to_name(qp_cos_dict_gets(stream, "Filter")), "FlateDecode");
  size_t length = 0;
  ASSERT_EQ(qp_cos_stream_to_buffer(stream, nullptr, &length), QP_OK);
  std::string decoded(length, '\0');
  ASSERT_EQ(qp_cos_stream_to_buffer(stream, decoded.data(), &length), QP_OK);
  EXPECT_EQ(decoded, payload);
  size_t rawLength = 0;
  ASSERT_EQ(qp_cos_stream_raw_to_buffer(stream, nullptr, &rawLength), QP_OK);
  EXPECT_LT(rawLength, payload.size() / 4);
}

TEST_F(CosTest, RealsReadBackAsWritten) {
  const auto path = temp_ / "reals.pdf";
  const std::string pdf =
      "%PDF-1.4\n1 0 obj <</Type/Catalog/Pages 2 0 R>> endobj\n"
      "2 0 obj <</Type/Pages/Count 1/Kids[3 0 R]>> endobj\n"
      "3 0 obj <</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/V [0.1 2.0 1.25 -0.333 0.10000000001]>> endobj\n"
      "trailer <</Root 1 0 R>>\n%%EOF\n";
  sealrun::testing::WriteFileBytes(path, pdf);
  DocumentHandle document = Open(path);
  ASSERT_TRUE(document);
  PageHandle page = LoadPage(document.get(), 0);
  qp_cos values = qp_cos_dict_gets(qp_page_object(page.get()), "V");
  ASSERT_EQ(qp_cos_array_len(values), 5);
  EXPECT_EQ(qp_cos_to_double(qp_cos_array_get(values, 0)), 0.1);
  EXPECT_EQ(qp_cos_to_double(qp_cos_array_get(values, 1)), 2.0);
  EXPECT_EQ(qp_cos_to_double(qp_cos_array_get(values, 2)), 1.25);
  EXPECT_EQ(qp_cos_to_double(qp_cos_array_get(values, 3)), -0.333);
  EXPECT_EQ(qp_cos_to_double(qp_cos_array_get(values, 4)), 0.1) << "beyond a 32-bit real's precision";
  EXPECT_EQ(qp_cos_is_real(qp_cos_array_get(values, 0)), 1);
}

}  // namespace
}  // namespace sealrun::platform::pdfengine::testing
