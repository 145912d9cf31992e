#pragma once
// Shared by the engine tests: an engine per test, corpus files copied into a temporary folder,
// small holders for engine handles, and the outside tools that cross-check the engine's output.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "external/qp.h"
#include "tests/testsupport/TempDir.h"
#include "tests/testsupport/ToolRun.h"

namespace sealrun::platform::pdfengine::testing {

struct DocumentCloser {
  void operator()(qp_document_s* document) const { qp_document_close(document); }
};
using DocumentPtr = std::unique_ptr<qp_document_s, DocumentCloser>;
struct PageFreer {
  void operator()(qp_page_s* page) const { qp_free_page(page); }
};
using PagePtr = std::unique_ptr<qp_page_s, PageFreer>;
struct ImageFreer {
  void operator()(qp_image_s* image) const { qp_image_free(image); }
};
using ImagePtr = std::unique_ptr<qp_image_s, ImageFreer>;
struct SignatureFreer {
  void operator()(qp_signature_s* signature) const { qp_field_free_signature(signature); }
};
using SignaturePtr = std::unique_ptr<qp_signature_s, SignatureFreer>;

using ToolResult = sealrun::testing::ToolRun;
// Runs a command line (sealrun::testing::RunTool); the test fails when the tool is not installed (scripts/setup
// installs it).
ToolResult RunTool(const std::string& commandLine);
std::string Quote(const std::filesystem::path& path);

// A decoded pdftoppm rendering (PPM), top row first.
struct Rendering {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;
  const unsigned char* At(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};
// Renders one zero-based page at 72 dpi (one pixel per point) as the page is displayed.
Rendering RenderPage(const std::filesystem::path& pdf, int pageIndex);

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The corpus file copied into the temporary folder; the test is skipped... never: it fails when
  // the corpus is missing.
  std::filesystem::path CopyCorpus(const std::string& name);
  DocumentPtr Open(const std::filesystem::path& path);
  PagePtr LoadPage(qp_document document, int index);

  // Red upper half, blue lower half: shows on a rendering which way is up.
  ImagePtr TwoToneImage(qp_document document, int width, int height);
  // Adds an image stamp in the displayed frame and saves.
  void Stamp(const std::filesystem::path& path, int pageIndex, double x0, double y0, double x1, double y1,
             int rotation);

  qp_engine engine_ = nullptr;
  sealrun::testing::TempDir temp_;
};

}  // namespace sealrun::platform::pdfengine::testing
