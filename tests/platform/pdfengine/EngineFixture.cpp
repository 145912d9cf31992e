#include "tests/platform/pdfengine/EngineFixture.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace sealrun::platform::pdfengine::testing {

ToolResult RunTool(const std::string& commandLine) {
  ToolResult result = sealrun::testing::RunTool(commandLine);
  if (result.exitCode == 127) ADD_FAILURE() << "tool missing (run scripts/setup): " << commandLine;
  return result;
}

std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

std::map<int, int> PagesByRotation(qp_document document) {
  std::map<int, int> pages;
  for (int i = 0; i < qp_page_count(document); ++i) {
    const PageHandle page = external::LoadPage(document, i);
    int degrees = -1;
    if (page && qp_page_rotate(page.get(), &degrees) == QP_OK) pages.emplace(degrees, i);
  }
  return pages;
}

Rendering RenderPage(const std::filesystem::path& pdf, int pageIndex) {
  Rendering out;
  const std::filesystem::path prefix = pdf.parent_path() / "render";
  const std::string page = std::to_string(pageIndex + 1);
  const ToolResult run = RunTool("pdftoppm -r 72 -f " + page + " -l " + page + " -singlefile " + Quote(pdf) + " " +
                                 Quote(prefix));
  EXPECT_EQ(run.exitCode, 0) << run.output;
  std::ifstream in(prefix.string() + ".ppm", std::ios::binary);
  std::string magic;
  int maxValue = 0;
  in >> magic >> out.width >> out.height >> maxValue;
  in.get();
  if (magic != "P6" || maxValue != 255) {
    ADD_FAILURE() << "not a PPM rendering";
    return out;
  }
  out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
  in.read(reinterpret_cast<char*>(out.rgb.data()), static_cast<std::streamsize>(out.rgb.size()));
  return out;
}

void EngineTest::SetUp() { ASSERT_EQ(qp_startup(&engine_, 0x20000000, 0, 0, 0), QP_OK); }

void EngineTest::TearDown() { EXPECT_EQ(qp_cleanup(engine_), QP_OK); }

std::filesystem::path EngineTest::CopyCorpus(const std::string& name) {
  const std::filesystem::path source = sealrun::testing::CorpusFile(name);
  const std::filesystem::path target = temp_ / name;
  std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
  // The corpus is read-only; the copy is the test's to change.
  std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  return target;
}

DocumentHandle EngineTest::Open(const std::filesystem::path& path) {
  DocumentHandle document;
  EXPECT_EQ(external::OpenDocument(engine_, path.u16string(), document), QP_OK) << path;
  return document;
}

PageHandle EngineTest::LoadPage(qp_document document, int index) {
  PageHandle page = external::LoadPage(document, index);
  EXPECT_TRUE(page) << "page " << index;
  return page;
}

ImageHandle EngineTest::TwoToneImage(qp_document document, int width, int height) {
  std::string pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels += y < height / 2 ? std::string("\xFF\x00\x00", 3) : std::string("\x00\x00\xFF", 3);
  return ImageHandle(qp_image_create_from_data(document, width, height, 8, QP_COLORSPACE_RGB, pixels.data(), pixels.size()));
}

void EngineTest::Stamp(const std::filesystem::path& path, int pageIndex, double x0, double y0, double x1, double y1,
                       int rotation) {
  DocumentHandle document = Open(path);
  ASSERT_TRUE(document);
  PageHandle page = LoadPage(document.get(), pageIndex);
  ASSERT_TRUE(page);
  qp_annot annot = qp_page_create_annotation(page.get(), QP_ANNOT_IMAGE_STAMP);
  ASSERT_NE(annot, nullptr);
  ASSERT_EQ(qp_annot_set_rect(annot, x0, y0, x1, y1), QP_OK);
  ASSERT_EQ(qp_annot_set_rotate(annot, rotation), QP_OK);
  ASSERT_EQ(qp_annot_set_blendmode(annot, "Multiply"), QP_OK);
  ImageHandle image = TwoToneImage(document.get(), 40, 40);
  ASSERT_TRUE(image);
  ASSERT_EQ(qp_annot_set_image_appearance_from_handle(annot, image.get()), QP_OK);
  ASSERT_EQ(qp_annot_update(annot), QP_OK);
  page.reset();
  ASSERT_EQ(qp_document_update_page(document.get(), pageIndex, 1), QP_OK);
  ASSERT_EQ(qp_document_save(document.get()), QP_OK);
}

}  // namespace sealrun::platform::pdfengine::testing
