// Pre-stamps placed by clicking on a template and read back as placement records: naming, size at 96
// pixels per inch, view and page rotation, and the records after saving and reopening.
#include "addin/HostCalls.h"
#include "addin/PreStamp.h"
#include "platform/imaging/ImageCodec.h"
#include "tests/addin/HostFixture.h"

namespace sealrun::addin::testing {
namespace {

// A picture file of the given size in pixels (red on white).
std::filesystem::path WritePicture(const std::filesystem::path& path, int width, int height) {
  auto image = platform::imaging::Image::Create(width, height, 24);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image->SetPixel(x, y, (x + y) % 7 ? platform::imaging::Rgba{255, 255, 255, 255}
                                                                         : platform::imaging::Rgba{200, 0, 0, 255});
  sealrun::testing::WriteFileBytes(path, *platform::imaging::EncodePng(*image));
  return path;
}

class PreStamp : public HostedAddin {
 protected:
  void Open(const std::filesystem::path& path) {
    ASSERT_FALSE(path.empty());
    ASSERT_EQ(driver_.OpenDocument(U16(path)), com::S_OK);
    driver_.ShowPane(u"Sealrun", true);
  }
  void Arm(int page, host::Point at) {
    driver_.RightClick(page, at);
    ASSERT_TRUE(driver_.ClickPopupItem(u"预盖印章"));
  }
  void ChooseImage(int page, host::Point at, const std::filesystem::path& image) {
    backend_->QueueOpenFileAnswer(ui::OpenFileAnswer{U16(image.parent_path()), {U16(image.filename())}});
    driver_.RightClick(page, at);
    ASSERT_TRUE(driver_.ClickPopupItem(u"自选印章"));
  }
  std::vector<SealTemplate> Templates() {
    LendHost();
    const int answer = ReadBackTemplates();
    EXPECT_EQ(answer, State().templates.empty() ? 0 : 1);
    return State().templates;
  }
};

TEST_F(PreStamp, DefaultSealsAreNumberedByCountAndSizedAt96PixelsPerInch) {
  const auto path = Template("pdfjs-sizes.pdf");
  Open(path);
  for (int i = 0; i < 3; ++i) {
    Arm(0, {100, 100});
    ASSERT_TRUE(driver_.Click(0, {150.0 + 100 * i, 200}).onPage);
  }
  const auto records = Templates();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].name, u"预盖位置1");
  EXPECT_EQ(records[1].name, u"预盖位置2");
  EXPECT_EQ(records[2].name, u"预盖位置3");
  // The built-in seal is 150 x 150 pixels: 112 points (112.5 truncated), centred on the click.
  EXPECT_NEAR(records[0].right - records[0].left, 112, 0.01);
  EXPECT_NEAR(records[0].bottom - records[0].top, 112, 0.01);
  EXPECT_NEAR((records[1].left + records[1].right) / 2, 250, 0.6);
  EXPECT_NEAR((records[1].top + records[1].bottom) / 2, 200, 0.6);
  EXPECT_EQ(records[0].pageIndex, 0);
  EXPECT_EQ(records[0].imageRotation, 0);
  EXPECT_NEAR(records[0].pageWidth, 612, 0.01);
  EXPECT_NEAR(records[0].pageHeight, 792, 0.01);
  EXPECT_NEAR(records[0].Offset(Corner::BottomRight).horizontal, 612 - records[0].right, 1e-9);
  EXPECT_NEAR(records[0].Offset(Corner::BottomRight).vertical, 792 - records[0].bottom, 1e-9);

  // The count decides the number, not the highest one.
  com::ComPtr<external::IHostAnnotation> first;
  LendHost();
  {
    const auto document = ActiveDocument();
    com::ComPtr<external::IHostPages> pages;
    com::ComPtr<external::IHostPage> page;
    com::ComPtr<external::IHostAnnotations> annotations;
    ASSERT_EQ(document->get_Pages(pages.Out()), com::S_OK);
    ASSERT_EQ(pages->Item(0, page.Out()), com::S_OK);
    ASSERT_EQ(page->get_Annotations(annotations.Out()), com::S_OK);
    ASSERT_EQ(annotations->Item(0, first.Out()), com::S_OK);
    ASSERT_EQ(first->Delete(), com::S_OK);
  }
  Arm(0, {100, 100});
  ASSERT_TRUE(driver_.Click(0, {300, 500}).onPage);
  const auto after = Templates();
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after.back().name, u"预盖位置3");
}

TEST_F(PreStamp, ChosenPictureNamesAndSizesTheStampAndTheViewRotationTurnsIt) {
  const auto path = Template("pdfjs-sizes.pdf");
  const auto picture = WritePicture(temp_ / "Round.png", 200, 100);
  Open(path);
  ChooseImage(0, {100, 100}, picture);
  ASSERT_TRUE(driver_.SetViewRotation(90));
  Arm(0, {300, 300});
  ASSERT_TRUE(driver_.Click(0, {300, 300}).onPage);
  const auto records = Templates();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].name, u"Round");
  EXPECT_EQ(records[0].imageRotation, 90);
  // 200 x 100 pixels are 150 x 75 points; turned by the view, the rectangle stands 75 wide, 150 high.
  EXPECT_NEAR(records[0].right - records[0].left, 75, 0.01);
  EXPECT_NEAR(records[0].bottom - records[0].top, 150, 0.01);
  // The choice is remembered in the personal settings file.
  bool remembered = false;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(temp_.Path()))
    if (entry.path().filename() == "BatchPDFConfig.dll")
      remembered = remembered || sealrun::testing::ReadFileBytes(entry.path()).find("Round.png") != std::string::npos;
  EXPECT_TRUE(remembered);
}

TEST_F(PreStamp, RecordsSurviveSavingAndReopeningInPageOrderOnARotatedPage) {
  const auto path = Template("pdfjs-sizes.pdf");
  const auto rotated = Template("qpdf-inherited-rotate.pdf", "rotated.pdf");
  Open(path);
  Arm(2, {100, 100});
  ASSERT_TRUE(driver_.Click(2, {200, 150}).onPage);
  Arm(0, {100, 100});
  ASSERT_TRUE(driver_.Click(0, {100, 120}).onPage);
  ASSERT_EQ(driver_.SaveActiveDocument(), com::S_OK);
  const auto before = Templates();

  driver_.Shutdown();
  ASSERT_EQ(driver_.Start(), com::S_OK);
  Open(path);
  const auto records = Templates();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].pageIndex, 0) << "page order, not placing order";
  EXPECT_EQ(records[1].pageIndex, 2);
  EXPECT_EQ(records[1].name, u"预盖位置1");
  EXPECT_EQ(records[0].name, u"预盖位置2");
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_NEAR(records[i].left, before[i].left, 1e-3);
    EXPECT_NEAR(records[i].bottom, before[i].bottom, 1e-3);
    for (size_t k = 0; k < 4; ++k) {
      EXPECT_NEAR(records[i].cornerOffsets[k].horizontal, before[i].cornerOffsets[k].horizontal, 1e-3);
      EXPECT_NEAR(records[i].cornerOffsets[k].vertical, before[i].cornerOffsets[k].vertical, 1e-3);
    }
  }

  // A page turned by /Rotate 90: the stamp is turned with it and keeps its corner distances on the
  // page as displayed.
  Open(rotated);
  const auto picture = WritePicture(temp_ / "Wide.png", 200, 100);
  ChooseImage(0, {100, 100}, picture);
  Arm(0, {100, 100});
  ASSERT_TRUE(driver_.Click(0, {200, 200}).onPage);
  const auto turned = Templates();
  ASSERT_EQ(turned.size(), 1u);
  EXPECT_EQ(turned[0].pageRotation, 90);
  // The page frame is the page as displayed: the upright seal keeps its shape, 150 wide and 75 high.
  EXPECT_NEAR(turned[0].right - turned[0].left, 150, 0.01);
  EXPECT_NEAR(turned[0].bottom - turned[0].top, 75, 0.01);
  EXPECT_NEAR(turned[0].Offset(Corner::TopLeft).horizontal, turned[0].left, 1e-9);
  EXPECT_NEAR(turned[0].Offset(Corner::BottomRight).vertical, turned[0].pageHeight - turned[0].bottom, 1e-9);
}

TEST_F(PreStamp, AClickBesideThePagesKeepsThePlacementArmed) {
  const auto path = Template("pdfjs-sizes.pdf");
  Open(path);
  Arm(0, {100, 100});
  const auto beside = driver_.ClickPixel({-500, -500});
  EXPECT_FALSE(beside.onPage);
  EXPECT_TRUE(driver_.CursorAt(0, {50, 50}).handled) << "still armed";
  ASSERT_TRUE(driver_.Click(0, {300, 300}).onPage);
  EXPECT_EQ(Templates().size(), 1u);
  EXPECT_FALSE(driver_.CursorAt(0, {50, 50}).handled) << "disarmed after the placement";
}

TEST_F(PreStamp, APictureThatDoesNotDecodeFallsBackToTheBuiltInSeal) {
  const auto path = Template("pdfjs-sizes.pdf");
  sealrun::testing::WriteFileBytes(temp_ / "broken.png", "not a picture at all");
  Open(path);
  ChooseImage(0, {100, 100}, temp_ / "broken.png");
  Arm(0, {100, 100});
  ASSERT_TRUE(driver_.Click(0, {300, 300}).onPage);
  const auto records = Templates();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].name, u"预盖位置1");
  EXPECT_NEAR(records[0].right - records[0].left, 112, 0.01);
}

TEST(PreStampArithmetic, RotationSizesAndNames) {
  EXPECT_EQ(PixelsToPoints(150), 112);
  EXPECT_EQ(PixelsToPoints(100), 75);
  EXPECT_EQ(EffectiveRotation(270, 90), 360) << "kept as 360";
  EXPECT_EQ(EffectiveRotation(270, 180), 90);
  EXPECT_EQ(EffectiveRotation(0, 0), 0);
  EXPECT_EQ(EffectiveRotation(0, 90), 90);
  EXPECT_EQ(PreStampNameFromImagePath(u"C:\\seals\\Round.png"), u"Round");
  EXPECT_EQ(PreStampNameFromImagePath(u"/home/u/Round.jpeg"), u"Round.");
  EXPECT_EQ(PreStampNameFromImagePath(u"abc"), u"");
  EXPECT_EQ(ImageRotationFromText(u"45"), 0);
  EXPECT_EQ(ImageRotationFromText(u"270"), 270);
}

}  // namespace
}  // namespace sealrun::addin::testing
