#pragma once
// Fixtures of the host tests: a temporary folder with its own registry and application-data folder, corpus
// copies, the test add-in module registered, pictures, and the command-line tools that check the results
// (qpdf, pdftoppm).
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/host/HostDriver.h"
#include "tests/testsupport/TempDir.h"
#include "tests/testsupport/ToolRun.h"

namespace sealrun::platform::host::testing {

class HostTest : public ::testing::Test {
 protected:
  HostTest();

  const std::filesystem::path& Dir() const { return temp_.Path(); }
  // A copy of a corpus file in the temporary folder (the test is skipped when the corpus is missing).
  std::filesystem::path CopyCorpus(const std::string& name);
  // Registers the test add-in and pane classes in the temporary registry.
  void RegisterTestModule();
  // Writes the host settings file naming these add-ins and returns options pointing at it.
  HostOptions SettingsWith(const std::vector<std::u16string>& addIns, com::LONG languageId = 2052);

 private:
  sealrun::testing::TempDir temp_;
  sealrun::testing::ScopedEnv appData_;
  sealrun::testing::ScopedEnv registry_;
};

using ToolResult = sealrun::testing::ToolRun;
using sealrun::testing::RunTool;
std::string Quote(const std::filesystem::path& path);

// A PNG of one colour, written to `path`.
void WriteSolidPng(const std::filesystem::path& path, int width, int height, uint8_t red, uint8_t green,
                   uint8_t blue);

// A page rendered by pdftoppm at 72 dpi (one pixel per point), RGB, rows from the top.
struct Rendering {
  int width = 0;
  int height = 0;
  std::string rgb;
  // The pixel at (x, y) as 0xRRGGBB.
  uint32_t At(int x, int y) const;
};
std::optional<Rendering> RenderPage(const std::filesystem::path& pdf, int pageIndex, const std::filesystem::path& dir);

inline std::u16string U16(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  std::u16string wide;
  for (const char8_t c : text) wide.push_back(static_cast<char16_t>(c));  // test paths are ASCII
  return wide;
}

}  // namespace sealrun::platform::host::testing
