#include "tests/verify/FingerprintFixture.h"

#include "tests/testsupport/TempDir.h"
#include "tests/testsupport/ToolRun.h"
#include "verify/DocumentFingerprint.h"

namespace sealrun::verify::testing {
namespace {

std::filesystem::path ScriptPath() { return sealrun::testing::SourceFile("tests/verify/make_fingerprint_fixture.py"); }

}  // namespace

void FingerprintTest::SetUp() {
  engine_ = external::StartEngine();
  ASSERT_TRUE(engine_);
}

void FingerprintTest::TearDown() { engine_.reset(); }

std::filesystem::path FingerprintTest::Make(const std::string& name, const std::vector<std::string>& arguments) {
  // The system interpreter: pikepdf comes from the distribution (scripts/setup).
  std::vector<std::string> scriptAndArguments{ScriptPath().string()};
  scriptAndArguments.insert(scriptAndArguments.end(), arguments.begin(), arguments.end());
  const sealrun::testing::ToolRun run = sealrun::testing::RunProgram("/usr/bin/python3", scriptAndArguments);
  EXPECT_EQ(run.exitCode, 0) << run.output;
  const std::filesystem::path path = dir_ / name;
  EXPECT_TRUE(std::filesystem::exists(path)) << run.output;
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
