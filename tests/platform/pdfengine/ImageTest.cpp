// Images for appearances: JPEG kept byte for byte, pixel data with palettes and masks, checked by
// reading the stored stream back and by rendering with poppler.
#include <functional>

#include "tests/platform/pdfengine/EngineFixture.h"

namespace sealrun::platform::pdfengine::testing {
namespace {

using sealrun::testing::ReadFileBytes;

class ImageTest : public EngineTest {
 protected:
  // Stamps the image over (100, 100)-(200, 200) of page 0 and saves; the document is reopened.
  void StampImage(const std::filesystem::path& path, const std::function<ImageHandle(qp_document)>& make) {
    DocumentHandle document = Open(path);
    ASSERT_TRUE(document);
    PageHandle page = LoadPage(document.get(), 0);
    qp_annot annot = qp_page_create_annotation(page.get(), QP_ANNOT_IMAGE_STAMP);
    ASSERT_EQ(qp_annot_set_rect(annot, 100, 100, 200, 200), QP_OK);
    ImageHandle image = make(document.get());
    ASSERT_TRUE(image);
    ASSERT_EQ(qp_annot_set_image_appearance_from_handle(annot, image.get()), QP_OK);
    page.reset();
    ASSERT_EQ(qp_document_save(document.get()), QP_OK);
  }

  // The image XObject of the first annotation's appearance.
  static qp_cos AppearanceImage(qp_page page) {
    qp_cos dict = qp_annot_get_cosobject(qp_page_load_annots(page));
    qp_cos form = qp_cos_dict_gets(qp_cos_dict_gets(dict, "AP"), "N");
    return qp_cos_dict_gets(qp_cos_dict_gets(qp_cos_dict_gets(form, "Resources"), "XObject"), "Im0");
  }
};

TEST_F(ImageTest, JpegBytesAreStoredUnchanged) {
  const auto pdf = CopyCorpus("pypdf-crazyones.pdf");
  const auto prefix = temp_ / "picture";
  ASSERT_EQ(RunTool("pdftoppm -jpeg -r 20 -singlefile " + Quote(pdf) + " " + Quote(prefix)).exitCode, 0);
  const std::string jpeg = ReadFileBytes(prefix.string() + ".jpg");
  ASSERT_GT(jpeg.size(), 100u);
  StampImage(pdf, [&](qp_document document) {
    return ImageHandle(qp_image_create_from_raw_data(document, 0, jpeg.data(), jpeg.size()));
  });
  DocumentHandle document = Open(pdf);
  PageHandle page = LoadPage(document.get(), 0);
  qp_cos image = AppearanceImage(page.get());
  ASSERT_EQ(qp_cos_is_stream(image), 1);
  EXPECT_STREQ(qp_cos_to_name(qp_cos_dict_gets(image, "Filter")), "DCTDecode");
  EXPECT_EQ(qp_cos_to_int(qp_cos_dict_gets(image, "Width")), 170);  // Letter at 20 dpi
  size_t length = 0;
  ASSERT_EQ(qp_cos_stream_raw_to_buffer(image, nullptr, &length), QP_OK);
  std::string stored(length, '\0');
  ASSERT_EQ(qp_cos_stream_raw_to_buffer(image, stored.data(), &length), QP_OK);
  EXPECT_EQ(stored, jpeg);
  EXPECT_EQ(qp_image_create_from_raw_data(document.get(), 0, "not a jpeg", 10), nullptr);
}

TEST_F(ImageTest, IndexedImageWithSoftMaskShowsThePageThroughTheMask) {
  const auto pdf = CopyCorpus("qpdf-minimal.pdf");
  StampImage(pdf, [](qp_document document) {
    // 2 x 2 indexed: every pixel green (index 1); the mask hides the left column.
    const unsigned char indices[] = {1, 1, 1, 1};
    const unsigned char palette[] = {0, 0, 0, 0, 200, 0};
    ImageHandle image(qp_image_create_from_data(document, 2, 2, 8, QP_COLORSPACE_INDEXED, indices, sizeof indices));
    EXPECT_EQ(qp_image_set_palette(image.get(), palette, 2), QP_OK);
    const unsigned char alpha[] = {0, 255, 0, 255};
    ImageHandle mask(qp_image_create_from_data(document, 2, 2, 8, QP_COLORSPACE_GRAY, alpha, sizeof alpha));
    EXPECT_EQ(qp_image_set_soft_mask(image.get(), mask.get()), QP_OK);
    return image;
  });
  const Rendering shown = RenderPage(pdf, 0);
  const unsigned char* left = shown.At(120, shown.height - 150);
  const unsigned char* right = shown.At(180, shown.height - 150);
  EXPECT_GT(left[1], 240);
  EXPECT_GT(left[0], 240) << "the page shows through the masked half";
  EXPECT_LT(right[0], 60);
  EXPECT_GT(right[1], 150) << "green where the mask is opaque";
}

TEST_F(ImageTest, ColourKeyMaskHidesThatColour) {
  const auto pdf = CopyCorpus("qpdf-minimal.pdf");
  StampImage(pdf, [](qp_document document) {
    // Left column magenta (the key), right column blue.
    const unsigned char rgb[] = {255, 0, 255, 0, 0, 255, 255, 0, 255, 0, 0, 255};
    ImageHandle image(qp_image_create_from_data(document, 2, 2, 8, QP_COLORSPACE_RGB, rgb, sizeof rgb));
    const int key[] = {255, 255, 0, 0, 255, 255};
    EXPECT_EQ(qp_image_set_mask_key(image.get(), key, 6), QP_OK);
    return image;
  });
  const Rendering shown = RenderPage(pdf, 0);
  const unsigned char* left = shown.At(120, shown.height - 150);
  const unsigned char* right = shown.At(180, shown.height - 150);
  EXPECT_GT(left[1], 240) << "keyed colour is transparent";
  EXPECT_LT(right[0], 60);
  EXPECT_GT(right[2], 180);
}

TEST_F(ImageTest, OneBitGrayImageAndBadParameters) {
  const auto pdf = CopyCorpus("qpdf-minimal.pdf");
  DocumentHandle document = Open(pdf);
  // 9 pixels wide: rows of 2 bytes.
  const unsigned char bits[] = {0xFF, 0x80, 0x00, 0x00};
  ImageHandle image(qp_image_create_from_data(document.get(), 9, 2, 1, QP_COLORSPACE_GRAY, bits, sizeof bits));
  EXPECT_TRUE(image);
  EXPECT_EQ(qp_image_create_from_data(document.get(), 9, 2, 1, QP_COLORSPACE_GRAY, bits, 3), nullptr) << "short data";
  EXPECT_EQ(qp_image_create_from_data(document.get(), 0, 2, 8, QP_COLORSPACE_RGB, bits, 4), nullptr);
  EXPECT_EQ(qp_image_create_from_data(document.get(), 1, 1, 8, 4, bits, 4), nullptr) << "unknown colour space";
  ImageHandle wrongMask(qp_image_create_from_data(document.get(), 1, 1, 8, QP_COLORSPACE_GRAY, bits, 1));
  EXPECT_EQ(qp_image_set_soft_mask(image.get(), wrongMask.get()), QP_ERR_ARGUMENT) << "size differs";
  const int key[] = {0, 1, 0, 1, 0, 1};
  EXPECT_EQ(qp_image_set_mask_key(image.get(), key, 6), QP_OK);
  EXPECT_EQ(qp_image_set_mask_key(image.get(), key, 3), QP_ERR_ARGUMENT);
}

}  // namespace
}  // namespace sealrun::platform::pdfengine::testing
