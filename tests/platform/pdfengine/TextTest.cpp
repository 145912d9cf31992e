// Text layers and search: character boxes in user space, checked against poppler's pdftotext.
#include <regex>

#include "tests/platform/pdfengine/EngineFixture.h"

namespace sealrun::platform::pdfengine::testing {
namespace {

class TextTest : public EngineTest {
 protected:
  // Searches one page; returns the characters of the hit (empty when absent).
  std::vector<qp_char_info> Find(qp_document document, int pageIndex, const std::u16string& needle) {
    std::vector<qp_char_info> chars;
    qp_search search = nullptr;
    EXPECT_EQ(qp_document_search(document, &search), QP_OK);
    EXPECT_EQ(qp_search_set_option(search, QP_SEARCH_OPTION_TEXT, needle.c_str()), QP_OK);
    PageHandle page = LoadPage(document, pageIndex);
    qp_text text = nullptr;
    void* second = reinterpret_cast<void*>(1);
    EXPECT_EQ(qp_page_load_text(page.get(), &text, &second, 0), QP_OK);
    EXPECT_EQ(second, nullptr);
    qp_search_first(search, text);
    qp_search_prev(search, text);
    int first = 0;
    int count = 0;
    EXPECT_EQ(qp_search_result(search, &first, &count), QP_OK);
    if (count > 0) {
      chars.resize(static_cast<std::size_t>(count));
      EXPECT_EQ(qp_page_text_char(text, first, count, chars.data()), QP_OK);
    }
    qp_page_close_text(text);
    qp_search_free(search);
    return chars;
  }
};

struct WordBox {
  double xMin, yMin, xMax, yMax;
};

// pdftotext's box of a word, in its top-left frame of the displayed page.
WordBox PopplerWord(const std::filesystem::path& pdf, int pageIndex, const std::string& word) {
  const std::string page = std::to_string(pageIndex + 1);
  const ToolResult run = RunTool("pdftotext -bbox -f " + page + " -l " + page + " " + Quote(pdf) + " -");
  const std::regex pattern("xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">" + word + "<");
  std::smatch match;
  if (!std::regex_search(run.output, match, pattern)) {
    ADD_FAILURE() << "pdftotext has no " << word;
    return {};
  }
  return {std::stod(match[1]), std::stod(match[2]), std::stod(match[3]), std::stod(match[4])};
}

TEST_F(TextTest, LatinWordBoxesMatchPoppler) {
  const auto path = CopyCorpus("pdfjs-tracemonkey.pdf");
  DocumentHandle document = Open(path);
  ASSERT_TRUE(document);
  const auto chars = Find(document.get(), 0, u"Trace-based");
  ASSERT_EQ(chars.size(), 11u);
  EXPECT_EQ(chars[0].unicode, static_cast<uint32_t>('T'));
  double box[4];
  ASSERT_EQ(qp_page_get_box(document.get(), 0, QP_BOX_MEDIA, box), QP_OK);
  const WordBox word = PopplerWord(path, 0, "Trace-based");
  // Poppler measures from the top; user space from the bottom.
  EXPECT_NEAR(chars.front().x0, word.xMin, 2.0);
  EXPECT_NEAR(chars.back().x1, word.xMax, 2.0);
  const double baselineTop = box[3] - word.yMax;
  EXPECT_NEAR(chars.front().y0, baselineTop, 4.0);
  EXPECT_LT(chars.front().y0, chars.front().y1);
  for (std::size_t i = 1; i < chars.size(); ++i) EXPECT_GE(chars[i].x0, chars[i - 1].x0);
}

TEST_F(TextTest, RotatedPageGivesBoxesInUserSpace) {
  // Every page of this file shows the same words at the same user-space place; only /Rotate differs.
  const auto path = CopyCorpus("qpdf-rotated.pdf");
  DocumentHandle document = Open(path);
  ASSERT_TRUE(document);
  const WordBox upright = PopplerWord(path, 0, "Original");
  const auto reference = Find(document.get(), 0, u"Original");
  ASSERT_EQ(reference.size(), 8u);
  EXPECT_NEAR(reference.front().x0, upright.xMin, 2.0);
  EXPECT_NEAR(reference.back().x1, upright.xMax, 2.0);
  // Poppler's box is the font's em, MuPDF's takes the ascender: a few points apart at the top.
  EXPECT_NEAR(reference.front().y1, 792 - upright.yMin, 6.0);
  EXPECT_NEAR(reference.front().y0, 792 - upright.yMax, 6.0);
  for (int pageIndex = 1; pageIndex < qp_page_count(document.get()); ++pageIndex) {
    SCOPED_TRACE(pageIndex);
    const auto chars = Find(document.get(), pageIndex, u"Original");
    ASSERT_EQ(chars.size(), 8u);
    for (std::size_t i = 0; i < chars.size(); ++i) {
      EXPECT_NEAR(chars[i].x0, reference[i].x0, 0.5);
      EXPECT_NEAR(chars[i].y0, reference[i].y0, 0.5);
      EXPECT_NEAR(chars[i].x1, reference[i].x1, 0.5);
      EXPECT_NEAR(chars[i].y1, reference[i].y1, 0.5);
    }
  }
}

TEST_F(TextTest, ChineseTextInCidFontsIsFound) {
  const auto path = CopyCorpus("texlive-zhlipsum.pdf");
  DocumentHandle document = Open(path);
  ASSERT_TRUE(document);
  const auto chars = Find(document.get(), 0, u"中文乱数假文");
  ASSERT_EQ(chars.size(), 6u);
  EXPECT_EQ(chars[0].unicode, 0x4E2Du);
  double box[4];
  ASSERT_EQ(qp_page_get_box(document.get(), 0, QP_BOX_MEDIA, box), QP_OK);
  for (const auto& c : chars) {
    EXPECT_GE(c.x0, box[0]);
    EXPECT_LE(c.x1, box[2]);
    EXPECT_GT(c.y0, box[3] / 2) << "a title near the top";
    EXPECT_NEAR(c.y0, chars[0].y0, 1.0) << "one line";
  }
  EXPECT_TRUE(Find(document.get(), 0, u"不在这一页的字句").empty());
}

TEST_F(TextTest, SearchStepsThroughHitsAndReportsNone) {
  const auto path = CopyCorpus("pdfjs-tracemonkey.pdf");
  DocumentHandle document = Open(path);
  ASSERT_TRUE(document);
  qp_search search = nullptr;
  ASSERT_EQ(qp_document_search(document.get(), &search), QP_OK);
  ASSERT_EQ(qp_search_set_option(search, QP_SEARCH_OPTION_TEXT, u"trace"), QP_OK);
  PageHandle page = LoadPage(document.get(), 0);
  qp_text text = nullptr;
  ASSERT_EQ(qp_page_load_text(page.get(), &text, nullptr, 0), QP_OK);
  ASSERT_EQ(qp_search_first(search, text), QP_OK);
  int first = -1;
  int count = 0;
  ASSERT_EQ(qp_search_result(search, &first, &count), QP_OK);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(qp_search_prev(search, text), QP_ERR_NOT_FOUND);
  int again = -1;
  qp_search_result(search, &again, &count);
  EXPECT_EQ(again, first) << "prev at the first hit keeps it";
  ASSERT_EQ(qp_search_next(search, text), QP_OK);
  int second = -1;
  qp_search_result(search, &second, &count);
  EXPECT_GT(second, first);
  ASSERT_EQ(qp_search_prev(search, text), QP_OK);
  qp_search_result(search, &again, &count);
  EXPECT_EQ(again, first);
  ASSERT_EQ(qp_search_set_option(search, QP_SEARCH_OPTION_TEXT, u"zebra-unicorn"), QP_OK);
  EXPECT_EQ(qp_search_first(search, text), QP_ERR_NOT_FOUND);
  qp_search_result(search, &first, &count);
  EXPECT_EQ(count, 0);
  qp_char_info outside[2];
  EXPECT_EQ(qp_page_text_char(text, qp_page_text_count(text) - 1, 2, outside), QP_ERR_ARGUMENT);
  qp_page_close_text(text);
  qp_search_free(search);
}

}  // namespace
}  // namespace sealrun::platform::pdfengine::testing
