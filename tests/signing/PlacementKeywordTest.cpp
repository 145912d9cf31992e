#include <gtest/gtest.h>

#include "signing/Placement.h"
#include "tests/signing/PlacementTestSupport.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::signing {
namespace {

using namespace sealrun::signing::testing;

class PlacementKeyword : public ::testing::Test {
 protected:
  Placement Select(const char* corpusFile, std::u16string_view keyword, int pageSetting,
                   const SealTemplate* chosen = nullptr, bool keywordMode = true) {
    const auto path = sealrun::testing::CorpusFile(corpusFile);
    const DocumentHandle document = OpenDocument(engine_.get(), path);
    const PlacementSettings settings{keyword, pageSetting, keywordMode, chosen, 200, 100};
    return SelectPlacement(document.get(), qp_page_count(document.get()) - 1, settings);
  }
  EngineHandle engine_ = StartEngine();
};

TEST_F(PlacementKeyword, ChineseKeywordOnTheLastPageCentresTheSealOnIt) {
  const Placement placement = Select("texlive-zhlipsum.pdf", u"代码索引", 14);
  ASSERT_TRUE(placement.Succeeded());
  const SealTemplate& record = placement.record;
  EXPECT_EQ(record.pageIndex, 14);
  EXPECT_EQ(record.Width(), 150);  // 200 x 100 pixels at 96 per inch
  EXPECT_EQ(record.Height(), 75);
  EXPECT_TRUE(record.name.empty());
  EXPECT_EQ(record.imageRotation, 0);
  EXPECT_NEAR(record.pageWidth, 595.28, 0.01);
  // The heading sits near the top of the page, inside it.
  EXPECT_GT(record.left + 75, 0);
  EXPECT_LT(record.right - 75, record.pageWidth);
  EXPECT_GT(record.top + 37, 0);
  EXPECT_LT(record.top, record.pageHeight / 3);
}

TEST_F(PlacementKeyword, EveryPageSettingTakesTheLastPageHoldingTheKeyword) {
  EXPECT_EQ(Select("texlive-zhlipsum.pdf", u"字体", kPageSettingAllPages).record.pageIndex, 12);  // on pages 4 and 13
  EXPECT_EQ(Select("texlive-zhlipsum.pdf", u"排版", kPageSettingAllPages).record.pageIndex, 1);
  EXPECT_EQ(Select("texlive-ctex-faq.pdf", u"数学", kPageSettingAllPages).record.pageIndex, 33);
  EXPECT_EQ(Select("texlive-ctex-faq.pdf", u"标点", 12).record.pageIndex, 12);
}

TEST_F(PlacementKeyword, MissingKeywordAndBadPageSettingsFail) {
  EXPECT_EQ(Select("texlive-zhlipsum.pdf", u"排版", 14).failure, PlacementFailure::KeywordNotFound);
  EXPECT_EQ(Select("texlive-zhlipsum.pdf", u"不在文中的词语", -1).failure, PlacementFailure::KeywordNotFound);
  EXPECT_EQ(Select("texlive-zhlipsum.pdf", u"字体", 15).failure, PlacementFailure::PageBeyondLast);
  EXPECT_EQ(Select("texlive-zhlipsum.pdf", u"字体", -2).failure, PlacementFailure::PageSettingInvalid);
  EXPECT_EQ(Select("texlive-zhlipsum.pdf", u"字体", -99).failure, PlacementFailure::PageSettingInvalid);
}

TEST_F(PlacementKeyword, TemplateModeUnlessKeywordPageAndChoiceAreAllSet) {
  SealTemplate chosen;
  chosen.pageIndex = 3;
  chosen.name = u"预盖位置1";
  EXPECT_EQ(Select("texlive-zhlipsum.pdf", u"字体", kPageSettingUnset, &chosen).record.name, u"预盖位置1");
  EXPECT_EQ(Select("texlive-zhlipsum.pdf", u"", 4, &chosen).record.name, u"预盖位置1");
  EXPECT_EQ(Select("texlive-zhlipsum.pdf", u"字体", 12, &chosen, false).record.name, u"预盖位置1");
  EXPECT_EQ(Select("texlive-zhlipsum.pdf", u"字体", kPageSettingUnset).failure, PlacementFailure::NoTemplate);
  chosen.pageIndex = 15;
  EXPECT_EQ(Select("texlive-zhlipsum.pdf", u"", 4, &chosen).failure, PlacementFailure::TemplatePageBeyondLast);
}

}  // namespace
}  // namespace sealrun::signing
