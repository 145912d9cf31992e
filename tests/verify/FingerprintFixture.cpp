#include "tests/verify/FingerprintFixture.h"

#include <cstdio>
#include <cstdlib>

#include "tests/testsupport/TempDir.h"
#include "verify/DocumentFingerprint.h"

namespace sealrun::verify::testing {
namespace {

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::filesystem::path ScriptPath() { return sealrun::testing::SourceFile("tests/verify/make_fingerprint_fixture.py"); }

}  // namespace

void FingerprintTest::SetUp() {
  engine_ = external::StartEngine();
  ASSERT_TRUE(engine_);
}

void FingerprintTest::TearDown() { engine_.reset(); }

std::filesystem::path FingerprintTest::Make(const std::string& name, const std::vector<std::string>& arguments) {
  // The system interpreter: pikepdf comes from the distribution (scripts/setup).
  std::string command = "/usr/bin/python3 " + Quote(ScriptPath().string());
  for (const std::string& argument : arguments) command += " " + Quote(argument);
  command += " 2>&1";
  const int status = std::system(command.c_str());
  EXPECT_EQ(status, 0) << command;
  const std::filesystem::path path = dir_ / name;
  EXPECT_TRUE(std::filesystem::exists(path)) << command;
  return path;
}

std::filesystem::path FingerprintTest::Base(const std::string& name, const std::vector<std::string>& flags) {
  std::vector<std::string> arguments{"base", (dir_ / name).string()};
  arguments.insert(arguments.end(), flags.begin(), flags.end());
  return Make(name, arguments);
}

std::filesystem::path FingerprintTest::Edit(const std::string& edit, const std::filesystem::path& source) {
  const std::string name = source.stem().string() + "-" + edit + ".pdf";
  return Make(name, {edit, source.string(), (dir_ / name).string()});
}

DocumentHandle FingerprintTest::Open(const std::filesystem::path& path) {
  DocumentHandle document;
  EXPECT_EQ(external::OpenDocument(engine_.get(), path.u16string(), document), QP_OK) << path;
  return document;
}

std::u16string FingerprintTest::FingerprintOf(const std::filesystem::path& path) {
  const DocumentHandle document = Open(path);
  DocumentFingerprint fingerprint;
  const std::optional<std::u16string> text = fingerprint.ComputeDocumentFingerprint(document.get());
  EXPECT_TRUE(text.has_value()) << path;
  return text.value_or(u"");
}

}  // namespace sealrun::verify::testing
