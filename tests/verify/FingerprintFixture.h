#pragma once
// The engine, documents and the PDF files of the fingerprint tests. The files are made and edited with
// pikepdf (qpdf), never with our own engine, so an edit is what an outside tool does to a sealed file.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "external/QpHandles.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::verify::testing {

using external::DocumentHandle;

class FingerprintTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs the fixture script: {"base", out, flags...} or {edit, in, out}.
  std::filesystem::path Make(const std::string& name, const std::vector<std::string>& arguments);
  std::filesystem::path Base(const std::string& name, const std::vector<std::string>& flags = {});
  std::filesystem::path Edit(const std::string& edit, const std::filesystem::path& source);
  DocumentHandle Open(const std::filesystem::path& path);
  // Opens, computes and closes without saving.
  std::u16string FingerprintOf(const std::filesystem::path& path);

  external::EngineHandle engine_;
  sealrun::testing::TempDir dir_;
};

}  // namespace sealrun::verify::testing
