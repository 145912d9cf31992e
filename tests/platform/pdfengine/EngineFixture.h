#pragma once
// Shared by the engine tests: an engine per test, corpus files copied into a temporary folder,
// small holders for engine handles, and the outside tools that cross-check the engine's output.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "external/QpHandles.h"
#include "tests/testsupport/TempDir.h"
#include "tests/testsupport/ToolRun.h"

namespace sealrun::platform::pdfengine::testing {

using external::CosHandle;
using external::DocumentHandle;
using external::ImageHandle;
using external::PageHandle;
using external::SignatureHandle;

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

// The colours of TwoToneImage on an RGB rendering.
inline bool IsRed(const unsigned char* p) { return p[0] > 180 && p[1] < 90 && p[2] < 90; }
inline bool IsBlue(const unsigned char* p) { return p[2] > 180 && p[0] < 90 && p[1] < 90; }

// The first page of the document with each /Rotate (qpdf-rotated.pdf has one of each), by rotation.
std::map<int, int> PagesByRotation(qp_document document);

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The corpus file copied into the temporary folder; the test is skipped... never: it fails when
  // the corpus is missing.
  std::filesystem::path CopyCorpus(const std::string& name);
  DocumentHandle Open(const std::filesystem::path& path);
  PageHandle LoadPage(qp_document document, int index);

  // Red upper half, blue lower half: shows on a rendering which way is up.
  ImageHandle TwoToneImage(qp_document document, int width, int height);
  // Adds an image stamp in the displayed frame and saves.
  void Stamp(const std::filesystem::path& path, int pageIndex, double x0, double y0, double x1, double y1,
             int rotation);

  qp_engine engine_ = nullptr;
  sealrun::testing::TempDir temp_;
};

}  // namespace sealrun::platform::pdfengine::testing
