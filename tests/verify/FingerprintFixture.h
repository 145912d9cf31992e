#pragma once
// The engine, documents and the PDF files of the fingerprint tests. The files are made and edited with
// pikepdf (qpdf), never with our own engine, so an edit is what an outside tool does to a sealed file.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "external/qp.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::verify::testing {

struct DocumentCloser {
  void operator()(qp_document document) const { qp_document_close(document); }
};
using DocumentPtr = std::unique_ptr<qp_document_s, DocumentCloser>;

class FingerprintTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs the fixture script: {"base", out, flags...} or {edit, in, out}.
  std::filesystem::path Make(const std::string& name, const std::vector<std::string>& arguments);
  std::filesystem::path Base(const std::string& name, const std::vector<std::string>& flags = {});
  std::filesystem::path Edit(const std::string& edit, const std::filesystem::path& source);
  DocumentPtr Open(const std::filesystem::path& path);
  // Opens, computes and closes without saving.
  std::u16string FingerprintOf(const std::filesystem::path& path);

  qp_engine engine_ = nullptr;
  sealrun::testing::TempDir dir_;
};

}  // namespace sealrun::verify::testing
