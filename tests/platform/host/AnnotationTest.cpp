// Image annotations made through the object model: placed in the host frame on rotated and cropped pages,
// given a picture, custom properties and a name, saved as an incremental update, checked by qpdf, seen by
// poppler where the host frame says, and read back after reopening.
#include "platform/com/Bstr.h"
#include "platform/imaging/ImageCodec.h"
#include "tests/platform/host/HostTestSupport.h"

namespace sealrun::platform::host::testing {
namespace {

using com::Bstr;
using com::ComPtr;

bool IsRed(uint32_t rgb) { return (rgb >> 16) > 200 && ((rgb >> 8) & 0xFF) < 60 && (rgb & 0xFF) < 60; }

class AnnotationTest : public HostTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(driver.Start(SettingsWith({})), com::S_OK);
    picture = Dir() / "seal.png";
    WriteSolidPng(picture, 60, 40, 230, 0, 0);
  }

  ComPtr<external::IHostPage> Page(int index) {
    ComPtr<external::IHostPages> pages;
    ComPtr<external::IHostPage> page;
    const auto document = driver.Host().ActiveDocument();
    if (!document || FAILED(document->get_Pages(pages.Out())) || FAILED(pages->Item(index, page.Out()))) return nullptr;
    return page;
  }
  ComPtr<external::IHostAnnotations> Annotations(int index) {
    ComPtr<external::IHostAnnotations> annotations;
    if (const auto page = Page(index)) page->get_Annotations(annotations.Out());
    return annotations;
  }
  // The last annotation of a page.
  ComPtr<external::IHostAnnotation> LastAnnotation(int index) {
    const auto annotations = Annotations(index);
    com::LONG count = 0;
    annotations->get_Count(&count);
    ComPtr<external::IHostAnnotation> annotation;
    annotations->Item(count - 1, annotation.Out());
    return annotation;
  }
  static Box RectOf(external::IHostAnnotation& annotation) {
    double left = 0, top = 0, width = 0, height = 0;
    annotation.get_Left(&left);
    annotation.get_Top(&top);
    annotation.get_Width(&width);
    annotation.get_Height(&height);
    return {left, top, left + width, top + height};
  }
  static std::u16string Property(external::IHostAnnotation& annotation, std::u16string_view name) {
    Bstr value;
    const Bstr key(name);
    annotation.GetCustomProperty(key.Get(), value.Out());
    return value.ToU16String();
  }

  HostDriver driver;
  std::filesystem::path picture;
};

TEST_F(AnnotationTest, SealSurvivesSavingAndReopeningWhereTheHostFrameSaysOnEveryRotation) {
  const auto path = CopyCorpus("qpdf-boxes.pdf");
  ASSERT_EQ(driver.OpenDocument(U16(path)), com::S_OK);
  const Box placed{100, 150, 160, 190};
  // Pages 1-4 of qpdf-boxes.pdf: /Rotate 0, 90, 180, 270 with a CropBox inside the MediaBox.
  for (int index = 0; index < 4; ++index) {
    SCOPED_TRACE(index);
    const auto page = Page(index);
    com::LONG pageRotation = 0;
    page->get_Rotation(&pageRotation);
    EXPECT_EQ(pageRotation, index * 90);
    ComPtr<external::IHostAnnotation> annotation;
    ASSERT_EQ(Annotations(index)->Add(external::kHostAnnotationImage, annotation.Out()), com::S_OK);
    ASSERT_EQ(annotation->SetRect(placed.x1, placed.y1, placed.x0, placed.y0), com::S_OK);  // corners in any order
    ASSERT_EQ(annotation->put_Rotation(pageRotation), com::S_OK);
    com::LONG set = 0;
    ASSERT_EQ(annotation->SetImageFile(*com::Variant(U16(picture)).Get(), &set), com::S_OK);
    EXPECT_EQ(set, 1);
    ASSERT_EQ(annotation->put_BlendMode(Bstr(u"Multiply").Get()), com::S_OK);
    ASSERT_EQ(annotation->UpdateAppearance(), com::S_OK);
    ASSERT_EQ(annotation->SetCustomProperty(Bstr(u"CType").Get(), Bstr(u"SigModel").Get()), com::S_OK);
    ASSERT_EQ(annotation->SetCustomProperty(Bstr(u"ImageRoate").Get(), Bstr(u"0").Get()), com::S_OK);
    // Setting a property again replaces its value.
    ASSERT_EQ(annotation->SetCustomProperty(Bstr(u"ImageRoate").Get(), Bstr(u"90").Get()), com::S_OK);
    ASSERT_EQ(annotation->put_Name(Bstr(u"预盖位置" + std::u16string(1, static_cast<char16_t>(u'1' + index))).Get()),
              com::S_OK);
    const Box rect = RectOf(*annotation.Get());
    EXPECT_NEAR(rect.x0, placed.x0, 0.01);
    EXPECT_NEAR(rect.y0, placed.y0, 0.01);
    EXPECT_NEAR(rect.x1, placed.x1, 0.01);
    EXPECT_NEAR(rect.y1, placed.y1, 0.01);
    Bstr type;
    annotation->get_TypeName(type.Out());
    EXPECT_EQ(type.View(), u"Stamp");
  }
  const auto originalSize = std::filesystem::file_size(path);
  ASSERT_EQ(driver.SaveActiveDocument(), com::S_OK);
  // An incremental update: the original bytes stay in front.
  EXPECT_GT(std::filesystem::file_size(path), originalSize);
  EXPECT_EQ(sealrun::testing::ReadFileBytes(path).substr(0, 200),
            sealrun::testing::ReadFileBytes(sealrun::testing::CorpusFile("qpdf-boxes.pdf")).substr(0, 200));
  const ToolResult check = RunTool("qpdf --check " + Quote(path));
  EXPECT_EQ(check.exitCode, 0) << check.output;

  const auto original = Dir() / "original.pdf";
  std::filesystem::copy_file(sealrun::testing::CorpusFile("qpdf-boxes.pdf"), original);
  for (int index = 0; index < 4; ++index) {
    SCOPED_TRACE(index);
    // pdftoppm shows the CropBox with /Rotate applied at one pixel per point: the host frame exactly. The
    // pixels the seal changed form its rectangle.
    const auto before = RenderPage(original, index, Dir());
    const auto after = RenderPage(path, index, Dir());
    ASSERT_TRUE(before && after);
    ASSERT_EQ(before->width, after->width);
    ASSERT_EQ(before->height, after->height);
    Box changed{1e9, 1e9, -1, -1};
    for (int y = 0; y < after->height; ++y) {
      for (int x = 0; x < after->width; ++x) {
        if (before->At(x, y) == after->At(x, y)) continue;
        changed = {std::min(changed.x0, double(x)), std::min(changed.y0, double(y)), std::max(changed.x1, x + 1.0),
                   std::max(changed.y1, y + 1.0)};
      }
    }
    EXPECT_NEAR(changed.x0, placed.x0, 1.0);
    EXPECT_NEAR(changed.y0, placed.y0, 1.0);
    EXPECT_NEAR(changed.x1, placed.x1, 1.0);
    EXPECT_NEAR(changed.y1, placed.y1, 1.0);
    EXPECT_TRUE(IsRed(after->At(130, 170))) << std::hex << after->At(130, 170);
  }

  // A new host session reads everything back from the file.
  driver.Shutdown();
  ASSERT_EQ(driver.Start(SettingsWith({})), com::S_OK);
  ASSERT_EQ(driver.OpenDocument(U16(path)), com::S_OK);
  for (int index = 0; index < 4; ++index) {
    SCOPED_TRACE(index);
    const auto annotation = LastAnnotation(index);
    ASSERT_TRUE(annotation);
    EXPECT_EQ(Property(*annotation.Get(), u"CType"), u"SigModel");
    EXPECT_EQ(Property(*annotation.Get(), u"ImageRoate"), u"90");
    Bstr name;
    annotation->get_Name(name.Out());
    EXPECT_EQ(name.ToU16String(), u"预盖位置" + std::u16string(1, static_cast<char16_t>(u'1' + index)));
    const Box rect = RectOf(*annotation.Get());
    EXPECT_NEAR(rect.x0, placed.x0, 0.01);
    EXPECT_NEAR(rect.y0, placed.y0, 0.01);
    EXPECT_NEAR(rect.x1 - rect.x0, 60, 0.01);
    EXPECT_NEAR(rect.y1 - rect.y0, 40, 0.01);
    com::LONG rotation = -1;
    annotation->get_Rotation(&rotation);
    EXPECT_EQ(rotation, index * 90);
  }
}

TEST_F(AnnotationTest, AnnotationsStayUsableAfterSaveAndCanBeDeleted) {
  const auto path = CopyCorpus("qpdf-minimal.pdf");
  ASSERT_EQ(driver.OpenDocument(U16(path)), com::S_OK);
  ComPtr<external::IHostAnnotation> annotation;
  ASSERT_EQ(Annotations(0)->Add(external::kHostAnnotationImage, annotation.Out()), com::S_OK);
  annotation->SetRect(10, 10, 50, 50);
  annotation->SetCustomProperty(Bstr(u"CType").Get(), Bstr(u"SigModel").Get());
  ASSERT_EQ(driver.SaveActiveDocument(), com::S_OK);
  // The object made before the save still names the same annotation.
  EXPECT_EQ(Property(*annotation.Get(), u"CType"), u"SigModel");
  ASSERT_EQ(annotation->SetCustomProperty(Bstr(u"CType").Get(), Bstr(u"Other").Get()), com::S_OK);
  EXPECT_EQ(Property(*LastAnnotation(0).Get(), u"CType"), u"Other");
  // A property never set: S_FALSE and no text.
  Bstr missing;
  EXPECT_EQ(annotation->GetCustomProperty(Bstr(u"Nothing").Get(), missing.Out()), com::S_FALSE);
  EXPECT_TRUE(missing.IsNull());
  // Select makes it the document's current annotation.
  com::LONG unused = -1;
  ASSERT_EQ(annotation->Select(&unused), com::S_OK);
  const auto core = driver.Host().ActiveDocument()->Core();
  EXPECT_TRUE(core->selected.has_value());
  com::LONG before = 0;
  Annotations(0)->get_Count(&before);
  ASSERT_EQ(annotation->Delete(), com::S_OK);
  com::LONG after = 0;
  Annotations(0)->get_Count(&after);
  EXPECT_EQ(after, before - 1);
  EXPECT_FALSE(core->selected.has_value());
  Bstr type;
  EXPECT_EQ(annotation->get_TypeName(type.Out()), com::E_UNEXPECTED);
  ASSERT_EQ(driver.SaveActiveDocument(), com::S_OK);
  EXPECT_EQ(RunTool("qpdf --check " + Quote(path)).exitCode, 0);
}

TEST_F(AnnotationTest, PictureFormatIsFoundFromTheBytesNotTheName) {
  const auto path = CopyCorpus("qpdf-minimal.pdf");
  ASSERT_EQ(driver.OpenDocument(U16(path)), com::S_OK);
  // A JPEG under a name that says nothing about it, as a temporary seal file may be.
  std::optional<imaging::Image> image = imaging::Image::Create(40, 40, 24);
  ASSERT_TRUE(image);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) image->SetPixel(x, y, {230, 0, 0, 255});
  const std::optional<std::string> jpeg = imaging::EncodeJpeg(*image, 90);
  ASSERT_TRUE(jpeg);
  const auto file = Dir() / "SigModel.cmp";
  sealrun::testing::WriteFileBytes(file, *jpeg);
  ComPtr<external::IHostAnnotation> annotation;
  ASSERT_EQ(Annotations(0)->Add(external::kHostAnnotationImage, annotation.Out()), com::S_OK);
  ASSERT_EQ(annotation->SetRect(50, 60, 90, 100), com::S_OK);
  com::LONG set = 0;
  ASSERT_EQ(annotation->SetImageFile(*com::Variant(U16(file)).Get(), &set), com::S_OK);
  EXPECT_EQ(set, 1);
  // The file may go at once: the picture is in the document.
  std::filesystem::remove(file);
  ASSERT_EQ(driver.SaveActiveDocument(), com::S_OK);
  EXPECT_EQ(RunTool("qpdf --check " + Quote(path)).exitCode, 0);
  const auto rendering = RenderPage(path, 0, Dir());
  ASSERT_TRUE(rendering);
  EXPECT_TRUE(IsRed(rendering->At(70, 80))) << std::hex << rendering->At(70, 80);
  EXPECT_FALSE(IsRed(rendering->At(45, 80)));
}

TEST_F(AnnotationTest, BadInputsAreRefused) {
  ASSERT_EQ(driver.OpenDocument(U16(CopyCorpus("qpdf-minimal.pdf"))), com::S_OK);
  ComPtr<external::IHostAnnotation> refused;
  EXPECT_EQ(Annotations(0)->Add(8, refused.Out()), com::E_INVALIDARG);
  EXPECT_FALSE(refused);
  ComPtr<external::IHostAnnotation> annotation;
  ASSERT_EQ(Annotations(0)->Add(external::kHostAnnotationImage, annotation.Out()), com::S_OK);
  const auto notPicture = Dir() / "note.png";
  sealrun::testing::WriteFileBytes(notPicture, "plain text, not a picture");
  com::LONG result = -1;
  EXPECT_TRUE(com::FAILED(annotation->SetImageFile(*com::Variant(U16(notPicture)).Get(), &result)));
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(com::FAILED(annotation->SetImageFile(*com::Variant(U16(Dir() / "absent.png")).Get(), &result)));
  EXPECT_EQ(annotation->SetCustomProperty(Bstr(u"").Get(), Bstr(u"x").Get()), com::E_INVALIDARG);
}

}  // namespace
}  // namespace sealrun::platform::host::testing
