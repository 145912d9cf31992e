// Image stamps and annotations, checked by rendering with poppler and reading back with qpdf.
#include <map>

#include "tests/platform/pdfengine/EngineFixture.h"
#include "tests/platform/pdfengine/AppendedUpdate.h"

namespace sealrun::platform::pdfengine::testing {
namespace {

using sealrun::testing::ReadFileBytes;

class AnnotTest : public EngineTest {};

TEST_F(AnnotTest, StampAppearsUprightInItsRectangleOnEveryPageRotation) {
  const auto source = CopyCorpus("qpdf-rotated.pdf");
  std::map<int, int> pages;
  {
    DocumentHandle document = Open(source);
    ASSERT_TRUE(document);
    pages = PagesByRotation(document.get());
  }
  ASSERT_EQ(pages.size(), 4u);
  for (const auto& [rotation, pageIndex] : pages) {
    SCOPED_TRACE(rotation);
    const auto path = temp_ / ("rotated-" + std::to_string(rotation) + ".pdf");
    std::filesystem::copy_file(source, path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    // 120 x 80 points, 40 from the displayed left edge and 60 from the displayed bottom edge.
    Stamp(path, pageIndex, 40, 60, 160, 140, rotation);
    const Rendering shown = RenderPage(path, pageIndex);
    ASSERT_GT(shown.height, 200);
    const int top = shown.height - 140;
    const int bottom = shown.height - 60;
    // Upper half red, lower half blue, as the image was drawn; nothing outside the rectangle.
    EXPECT_TRUE(IsRed(shown.At(100, top + 10))) << "upper part";
    EXPECT_TRUE(IsRed(shown.At(45, top + 5)));
    EXPECT_TRUE(IsBlue(shown.At(100, bottom - 10))) << "lower part";
    EXPECT_TRUE(IsBlue(shown.At(155, bottom - 5)));
    EXPECT_FALSE(IsRed(shown.At(100, top - 6)) || IsBlue(shown.At(100, top - 6))) << "above the rectangle";
    EXPECT_FALSE(IsRed(shown.At(34, top + 10)) || IsBlue(shown.At(34, bottom - 10))) << "left of the rectangle";
    EXPECT_FALSE(IsBlue(shown.At(100, bottom + 6))) << "below the rectangle";
  }
}

TEST_F(AnnotTest, ExtraImageRotationTurnsTheStampOnScreen) {
  const auto path = CopyCorpus("qpdf-minimal.pdf");
  // A quarter turn counter-clockwise: what was the top of the image is now on the left.
  Stamp(path, 0, 100, 100, 200, 200, 90);
  const Rendering shown = RenderPage(path, 0);
  const int top = shown.height - 200;
  EXPECT_TRUE(IsRed(shown.At(110, top + 50)));
  EXPECT_TRUE(IsBlue(shown.At(190, top + 50)));
}

TEST_F(AnnotTest, AnnotationsAreEnumeratedInFileOrderWithTheirSubtypes) {
  const auto path = CopyCorpus("pdfjs-issue14438.pdf");
  DocumentHandle document = Open(path);
  ASSERT_TRUE(document);
  PageHandle page = LoadPage(document.get(), 0);
  std::vector<int> numbers;
  std::map<std::string, int> subtypes;
  for (qp_annot annot = qp_page_load_annots(page.get()); annot != nullptr; annot = qp_annot_next(annot)) {
    ++subtypes[qp_annot_get_subtype(annot)];
    qp_cos dict = qp_annot_get_cosobject(annot);
    EXPECT_EQ(qp_cos_is_dict(dict), 1);
    numbers.push_back(qp_cos_obj_num(dict));
  }
  EXPECT_EQ(numbers.size(), 30u);
  EXPECT_EQ(subtypes["Popup"], 12);
  EXPECT_EQ(subtypes["Ink"], 5);
  EXPECT_EQ(subtypes["Caret"], 1);
  // The order of the page's /Annots as qpdf reads it.
  const ToolResult shown = RunTool("qpdf --show-object=" + std::to_string(PageObjectNumber(path, 0)) + " " + Quote(path));
  std::string expected;
  std::string actual;
  const auto annotsAt = shown.output.find("/Annots [");
  ASSERT_NE(annotsAt, std::string::npos) << shown.output;
  const std::string list = shown.output.substr(annotsAt, shown.output.find(']', annotsAt) - annotsAt);
  for (int number : numbers) actual += " " + std::to_string(number) + " 0 R";
  EXPECT_NE(list.find(actual.substr(1)), std::string::npos) << list << " vs " << actual;
}

TEST_F(AnnotTest, SavingAStampRewritesNoOtherAnnotation) {
  const auto path = CopyCorpus("qpdf-overlay-copy-annotations.pdf");
  const std::string before = ReadFileBytes(path);
  std::set<int> annotationNumbers;
  {
    DocumentHandle document = Open(path);
    ASSERT_TRUE(document);
    for (int i = 0; i < qp_page_count(document.get()); ++i) {
      PageHandle page = LoadPage(document.get(), i);
      for (qp_annot a = qp_page_load_annots(page.get()); a != nullptr; a = qp_annot_next(a))
        annotationNumbers.insert(qp_cos_obj_num(qp_annot_get_cosobject(a)));
    }
  }
  ASSERT_GT(annotationNumbers.size(), 100u);
  Stamp(path, 5, 20, 20, 80, 80, 90);
  const auto written = ObjectsWrittenBy(ReadFileBytes(path).substr(before.size()));
  for (int number : written) EXPECT_EQ(annotationNumbers.count(number), 0u) << "annotation " << number << " rewritten";
}

TEST_F(AnnotTest, CreatedStampHasItsEntriesAndCanBeDeletedAgain) {
  const auto path = CopyCorpus("qpdf-minimal.pdf");
  Stamp(path, 0, 10, 20, 110, 70, 0);
  DocumentHandle document = Open(path);
  ASSERT_TRUE(document);
  PageHandle page = LoadPage(document.get(), 0);
  qp_annot stamp = qp_page_load_annots(page.get());
  ASSERT_NE(stamp, nullptr);
  EXPECT_STREQ(qp_annot_get_subtype(stamp), "Stamp");
  qp_cos dict = qp_annot_get_cosobject(stamp);
  EXPECT_STREQ(qp_cos_to_name(qp_cos_dict_gets(dict, "BM")), "Multiply");
  qp_cos rect = qp_cos_dict_gets(dict, "Rect");
  ASSERT_EQ(qp_cos_array_len(rect), 4);
  EXPECT_DOUBLE_EQ(qp_cos_to_double(qp_cos_array_get(rect, 0)), 10);
  EXPECT_DOUBLE_EQ(qp_cos_to_double(qp_cos_array_get(rect, 3)), 70);
  qp_cos normal = qp_cos_dict_gets(qp_cos_dict_gets(dict, "AP"), "N");
  EXPECT_EQ(qp_cos_is_stream(normal), 1);
  ASSERT_EQ(qp_annot_delete(stamp), QP_OK);
  EXPECT_EQ(qp_page_load_annots(page.get()), nullptr);
  page.reset();
  ASSERT_EQ(qp_document_save(document.get()), QP_OK);
  document.reset();
  EXPECT_EQ(RunTool("qpdf --check " + Quote(path)).exitCode, 0);
  const Rendering shown = RenderPage(path, 0);
  EXPECT_FALSE(IsRed(shown.At(50, shown.height - 60)));
}

TEST_F(AnnotTest, WrongArgumentsAreRefused) {
  const auto path = CopyCorpus("qpdf-minimal.pdf");
  DocumentHandle document = Open(path);
  ASSERT_TRUE(document);
  PageHandle page = LoadPage(document.get(), 0);
  EXPECT_EQ(qp_page_create_annotation(page.get(), 3), nullptr);
  qp_annot annot = qp_page_create_annotation(page.get(), QP_ANNOT_IMAGE_STAMP);
  EXPECT_EQ(qp_annot_set_rotate(annot, 45), QP_ERR_ARGUMENT);
  EXPECT_EQ(qp_annot_set_blendmode(annot, "Sparkle"), QP_ERR_ARGUMENT);
  EXPECT_EQ(qp_annot_set_image_appearance_from_handle(annot, nullptr), QP_ERR_ARGUMENT);
  qp_page missing = nullptr;
  EXPECT_EQ(qp_load_page(document.get(), 1, &missing), QP_ERR_ARGUMENT);
  EXPECT_EQ(missing, nullptr);
  double box[4];
  EXPECT_EQ(qp_page_get_box(document.get(), 0, 7, box), QP_ERR_UNSUPPORTED);
}

TEST_F(AnnotTest, BoxesAndRotationComeFromThePageTree) {
  const auto path = CopyCorpus("qpdf-inherited-rotate.pdf");
  DocumentHandle document = Open(path);
  ASSERT_TRUE(document);
  PageHandle page = LoadPage(document.get(), 0);
  int degrees = -1;
  ASSERT_EQ(qp_page_rotate(page.get(), &degrees), QP_OK);
  EXPECT_EQ(degrees, 90);
  const auto boxes = CopyCorpus("qpdf-boxes.pdf");
  DocumentHandle boxed = Open(boxes);
  ASSERT_TRUE(boxed);
  double media[4];
  double crop[4];
  ASSERT_EQ(qp_page_get_box(boxed.get(), 0, QP_BOX_MEDIA, media), QP_OK);
  PageHandle first = LoadPage(boxed.get(), 0);
  ASSERT_EQ(qp_page_box(first.get(), QP_BOX_CROP, crop), QP_OK);
  EXPECT_LT(crop[2] - crop[0], media[2] - media[0]) << "CropBox smaller than MediaBox";
  EXPECT_GE(crop[0], media[0]);
}

}  // namespace
}  // namespace sealrun::platform::pdfengine::testing
