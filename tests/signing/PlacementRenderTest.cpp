#include <gtest/gtest.h>

#include "signing/Placement.h"
#include "signing/PlacementCorners.h"
#include "tests/signing/PlacementTestSupport.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::signing {
namespace {

using namespace sealrun::signing::testing;

// A 60 x 30 pt seal as read back from a pre-stamp (displayed frame).
SealTemplate Record(double left, double top, double pageWidth, double pageHeight, int pageIndex, int rotation = 0,
                    double width = 60, double height = 30) {
  SealTemplate record{left, top, left + width, top + height, pageIndex, rotation, u"", 0, pageWidth, pageHeight, {}};
  ComputeCornerOffsets(record);
  return record;
}

class PlacementRender : public ::testing::Test {
 protected:
  // Stamps every record on its page, saves, and renders each page as displayed.
  std::vector<Render> StampAndRender(const std::filesystem::path& source, const std::vector<SealTemplate>& records,
                                     int pageCount) {
    const auto copy = dir_ / "target.pdf";
    std::filesystem::copy_file(source, copy, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    before_.clear();
    for (int page = 0; page < pageCount; ++page) before_.push_back(RenderPage(copy, page).value_or(Render{}));
    {
      const DocumentHandle document = OpenDocument(engine_.get(), copy);
      for (const SealTemplate& record : records) {
        const auto rect = ComputeSealRect(document.get(), record);
        EXPECT_TRUE(rect && Stamp(document.get(), record.pageIndex, *rect)) << "page " << record.pageIndex;
      }
      EXPECT_EQ(qp_document_save(document.get()), QP_OK);
    }
    std::vector<Render> renders;
    for (int page = 0; page < pageCount; ++page) renders.push_back(RenderPage(copy, page).value_or(Render{}));
    return renders;
  }
  // The stamp found in the given quarter of the render stands upright at the expected top-left corner.
  void ExpectUprightStamp(int page, const Render& render, double x0, double y0, const std::string& where,
                          bool portrait = false) {
    const PixelBox area{x0 < render.width / 2.0 ? 0 : render.width / 2, y0 < render.height / 2.0 ? 0 : render.height / 2,
                        x0 < render.width / 2.0 ? render.width / 2 : render.width,
                        y0 < render.height / 2.0 ? render.height / 2 : render.height};
    const PixelBox stamp = FindPixels(render, Pixels::Stamp, area, &before_[page]);
    const PixelBox marker = FindPixels(render, Pixels::Marker, area, &before_[page]);
    EXPECT_NEAR(stamp.x0, x0, 1.5) << where;
    EXPECT_NEAR(stamp.y0, y0, 1.5) << where;
    EXPECT_NEAR(stamp.Width(), portrait ? 30 : 60, 2) << where;
    EXPECT_NEAR(stamp.Height(), portrait ? 60 : 30, 2) << where;
    // The marker is the picture's top-left corner: top-left on screen when upright, bottom-left after a
    // quarter turn counter-clockwise.
    EXPECT_NEAR(marker.x0, stamp.x0, 1.5) << where;
    EXPECT_NEAR(portrait ? marker.y1 : marker.y0, portrait ? stamp.y1 : stamp.y0, 1.5) << where;
  }
  sealrun::testing::TempDir dir_;
  std::vector<Render> before_;  // the pages as they were before stamping
  EngineHandle engine_ = StartEngine();
};

// Seals 25 pt across and 35 pt down or up from each corner of an A4 template keep those distances to the
// same displayed corners of Letter, A3 and odd pages, turned every way, with boxes off 0,0 and CropBoxes
// inside their MediaBoxes (hand-made pages and corpus files).
TEST_F(PlacementRender, A4TemplateKeepsItsCornerDistancesOnEveryPageAsDisplayed) {
  const PageBox letter{0, 0, 612, 792}, a3{0, 0, 842, 1191}, odd{-50, -80, 350, 920}, oddCrop{-30, -60, 330, 900};
  std::vector<TestPage> pages;
  for (const int rotate : {0, 90, 180, 270})
    for (const auto& [media, crop] : {std::pair{letter, letter}, {a3, a3}, {odd, oddCrop}})
      pages.push_back(BlankPage(media, crop, rotate));
  WriteTestPdf(dir_ / "sizes.pdf", pages);
  using sealrun::testing::CorpusFile;
  for (const auto& source : {dir_ / "sizes.pdf", CorpusFile("qpdf-boxes.pdf"), CorpusFile("qpdf-rotated.pdf"),
                             CorpusFile("pdfjs-issue1350.pdf")}) {
    const int pageCount = std::min(qp_page_count(OpenDocument(engine_.get(), source).get()), 12);
    std::vector<SealTemplate> records;
    for (int page = 0; page < pageCount; ++page)
      for (const auto& [left, top] : {std::pair{25.0, 35.0}, {510.0, 35.0}, {25.0, 777.0}, {510.0, 777.0}})
        records.push_back(Record(left, top, 595, 842, page));
    const auto renders = StampAndRender(source, records, pageCount);
    for (int page = 0; page < pageCount; ++page) {
      const Render& render = renders[page];
      ASSERT_GT(render.width, 0);
      const std::string where = source.filename().string() + " page " + std::to_string(page);
      for (const double x : {25.0, render.width - 25.0 - 60})
        for (const double y : {35.0, render.height - 35.0 - 30}) ExpectUprightStamp(page, render, x, y, where);
    }
  }
}

// A pre-stamp made on a page turned by 90 (CropBox and MediaBox off 0,0): back on its own page it lands
// where it was; on pages turned otherwise it keeps its displayed bottom-right distance; made in a view
// turned by 90 its image turns with it.
TEST_F(PlacementRender, TemplateMadeOnARotatedPageLandsRightAsDisplayed) {
  const PageBox media{-40, -20, 560, 780}, crop{-20, 0, 540, 760};  // displayed 760 x 560 at /Rotate 90
  WriteTestPdf(dir_ / "turned.pdf", {BlankPage(media, crop, 90), BlankPage(media, crop, 0), BlankPage(media, crop, 180),
                                     BlankPage(media, crop, 270)});
  std::vector<SealTemplate> records{Record(120, 80, 760, 560, 0, 90)};
  for (int page = 0; page < 4; ++page) records.push_back(Record(760 - 30 - 60, 560 - 40 - 30, 760, 560, page, 90));
  SealTemplate turned = Record(40, 100, 760, 560, 3, 90, 30, 60);
  turned.imageRotation = 90;
  records.push_back(turned);
  const auto renders = StampAndRender(dir_ / "turned.pdf", records, 4);
  ExpectUprightStamp(0, renders[0], 120, 80, "own page");
  for (int page = 0; page < 4; ++page)
    ExpectUprightStamp(page, renders[page], renders[page].width - 90, renders[page].height - 70, "page " + std::to_string(page));
  ExpectUprightStamp(3, renders[3], 40, 100, "image turned with the view", true);
}

// Keyword placement on turned pages whose boxes do not start at 0,0 centres the seal on the word as
// displayed.
TEST_F(PlacementRender, KeywordSealIsCentredOnTheWordAsDisplayed) {
  std::vector<TestPage> pages;
  for (const int rotate : {0, 90, 180, 270})
    pages.push_back({{-100, -50, 500, 750}, PageBox{-80, -30, 480, 730}, rotate, "SEAL", 100, 300});
  WriteTestPdf(dir_ / "words.pdf", pages);
  std::vector<PixelBox> words;
  for (int page = 0; page < 4; ++page) words.push_back(FindPixels(RenderPage(dir_ / "words.pdf", page).value(), Pixels::Ink));
  std::vector<SealTemplate> records;
  {
    const DocumentHandle document = OpenDocument(engine_.get(), dir_ / "words.pdf");
    for (int page = 0; page < 4; ++page) {
      const PlacementSettings settings{u"SEAL", page, true, nullptr, kStampPixelWidth, kStampPixelHeight};
      const Placement placement = SelectPlacement(document.get(), 3, settings);
      ASSERT_TRUE(placement.Succeeded());
      records.push_back(placement.record);
    }
  }
  const auto renders = StampAndRender(dir_ / "words.pdf", records, 4);
  for (int page = 0; page < 4; ++page) {
    const PixelBox stamp = FindPixels(renders[page], Pixels::Stamp);
    const PixelBox marker = FindPixels(renders[page], Pixels::Marker);
    const double wordX = (words[page].x0 + words[page].x1) / 2.0, wordY = (words[page].y0 + words[page].y1) / 2.0;
    EXPECT_NEAR((stamp.x0 + stamp.x1) / 2.0, wordX, 4) << "page " << page;
    EXPECT_NEAR((stamp.y0 + stamp.y1) / 2.0, wordY, 4) << "page " << page;
    EXPECT_NEAR(stamp.Width(), 60, 2) << "page " << page;
    EXPECT_NEAR(marker.y0, stamp.y0, 1.5) << "page " << page;
  }
}

}  // namespace
}  // namespace sealrun::signing
