// The fingerprint byte for byte by the rules: our page lines against those an independent reader of the raw
// bytes computes (tests/verify/fingerprint_reference.py), on every corpus file the engine opens without repair.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "external/QpHandles.h"
#include "platform/text/Utf.h"
#include "support/Sha1.h"
#include "tests/testsupport/TempDir.h"
#include "tests/testsupport/ToolRun.h"
#include "tests/verify/ReferenceFingerprint.h"
#include "verify/DocumentFingerprint.h"
#include "verify/LegacyDocumentFingerprint.h"

namespace sealrun::verify::testing {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CorpusPdfFiles() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(sealrun::testing::CorpusDir())) {
    if (entry.path().extension() == ".pdf") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Makes the engine read every object the cross-reference lists.
void LoadEveryObject(qp_document document) {
  const external::CosHandle trailer(qp_document_trailer(document));
  const external::CosHandle size(qp_cos_dict_gets(trailer.get(), "Size"));
  ASSERT_TRUE(size != nullptr && qp_cos_is_int(size.get()));
  for (int number = 1; number < qp_cos_to_int(size.get()); ++number) {
    const external::CosHandle object(qp_document_object(document, number));
  }
}

TEST(ExactFingerprint, EveryCorpusFileThatOpensWithoutRepairHasTheLinesOfTheRules) {
  const external::EngineHandle engine = external::StartEngine();
  ASSERT_TRUE(engine);
  const std::vector<fs::path> files = CorpusPdfFiles();
  const auto reference = RunReference(files);
  int compared = 0;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    external::DocumentHandle document;
    if (external::OpenDocument(engine.get(), file.u16string(), document) != QP_OK) continue;  // needs a password
    if (qp_document_was_repaired(document.get()) != 0) continue;
    DocumentFingerprint fingerprint(document.get());
    const auto text = fingerprint.ComputeDocumentFingerprint();
    ASSERT_TRUE(text.has_value());
    // A file the engine found damaged only while reading its pages is left out as well.
    if (qp_document_was_repaired(document.get()) != 0) continue;
    ++compared;
    const ReferenceFingerprint& expected = reference.at(file);
    EXPECT_EQ(FirstDifference(fingerprint.PageLines(), expected), "");
    EXPECT_EQ(std::string(text->begin(), text->end()), expected.fingerprint);
    EXPECT_EQ(fingerprint.FallbackCount(), 0) << "every object read from the file's bytes";

    // Objects the engine has not read are written from their source alone; once it has read them all, each
    // is its object matched with its source, and the text must not change.
    LoadEveryObject(document.get());
    DocumentFingerprint loaded(document.get());
    EXPECT_EQ(loaded.ComputeDocumentFingerprint(), text);
    EXPECT_EQ(FirstDifference(loaded.PageLines(), expected), "");
    EXPECT_EQ(loaded.FallbackCount(), 0);
  }
  EXPECT_GE(compared, 45) << "of " << files.size() << " corpus files";
}

// Files written byte for byte (tests/verify/make_exact_fixture.py) with the same content four ways: plainly,
// in an object stream, encrypted, and both.
class MadeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_ = external::StartEngine();
    ASSERT_TRUE(engine_);
  }
  void TearDown() override { engine_.reset(); }

  fs::path Make(const std::string& name, const std::vector<std::string>& flags = {}) {
    std::vector<std::string> arguments{sealrun::testing::SourceFile("tests/verify/make_exact_fixture.py").string(),
                                       (dir_ / name).string()};
    arguments.insert(arguments.end(), flags.begin(), flags.end());
    const auto run = sealrun::testing::RunProgram("/usr/bin/python3", arguments);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    return dir_ / name;
  }

  external::DocumentHandle Open(const fs::path& path) {
    external::DocumentHandle document;
    EXPECT_EQ(external::OpenDocument(engine_.get(), path.u16string(), document), QP_OK) << path;
    if (document) {
      EXPECT_EQ(qp_document_was_repaired(document.get()), 0) << path;
    }
    return document;
  }

  external::EngineHandle engine_;
  sealrun::testing::TempDir dir_;
};

TEST_F(MadeFileTest, WrittenFormsGiveTheLinesOfTheRulesInEveryWayTheFileCanStoreThem) {
  const std::vector<fs::path> files{Make("plain.pdf"), Make("objstm.pdf", {"--object-stream"}),
                                    Make("encrypted.pdf", {"--encrypt"}),
                                    Make("objstm-encrypted.pdf", {"--object-stream", "--encrypt"})};
  const auto reference = RunReference(files);
  std::string first;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    const external::DocumentHandle document = Open(file);
    ASSERT_TRUE(document);
    DocumentFingerprint fingerprint(document.get());
    const auto text = fingerprint.ComputeDocumentFingerprint();
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(FirstDifference(fingerprint.PageLines(), reference.at(file)), "");
    EXPECT_EQ(fingerprint.FallbackCount(), 0);
    // Pages sharing an identifier are counted apart; one in the ANSI code page reads as its characters.
    const std::string lines = platform::text::Utf16ToUtf8(fingerprint.PageLines());
    EXPECT_NE(lines.find("SAME$"), std::string::npos);
    EXPECT_NE(lines.find("\r\nSAME1$"), std::string::npos);
    EXPECT_NE(lines.find("\r\nSAME2$"), std::string::npos);
    EXPECT_NE(lines.find("\r\n中文页$"), std::string::npos);
    // The content is the same, so is the fingerprint; the engine's own view of the values would differ.
    if (first.empty()) first = std::string(text->begin(), text->end());
    EXPECT_EQ(std::string(text->begin(), text->end()), first);
    const external::DocumentHandle again = Open(file);
    EXPECT_NE(LegacyDocumentFingerprint(again.get()), text);
  }
}

// Objects the engine reads otherwise than their bytes say, or only by guessing, are written from its objects
// whether or not it has read them before; the others from their sources. Either way the text is the same.
TEST_F(MadeFileTest, OddlyWrittenObjectsGiveTheSameTextBeforeAndAfterTheEngineReadsThem) {
  const fs::path file = Make("odd.pdf", {"--odd-sources"});
  external::DocumentHandle document;
  ASSERT_EQ(external::OpenDocument(engine_.get(), file.u16string(), document), QP_OK);
  DocumentFingerprint fresh(document.get());
  const auto text = fresh.ComputeDocumentFingerprint();
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(fresh.FallbackCount(), 1) << "the over-long integer";

  LoadEveryObject(document.get());
  DocumentFingerprint loaded(document.get());
  EXPECT_EQ(loaded.ComputeDocumentFingerprint(), text);
  EXPECT_EQ(loaded.PageLines(), fresh.PageLines());
  EXPECT_EQ(qp_document_was_repaired(document.get()), 0);
}

// Random objects in every written form, legal or not: whatever the engine and the source reader make of them,
// the text is the same whether an object is written from its source alone or from the engine's object.
TEST_F(MadeFileTest, RandomObjectsGiveTheSameTextBeforeAndAfterTheEngineReadsThem) {
  constexpr int kFiles = 300;
  const auto run = sealrun::testing::RunProgram(
      "/usr/bin/python3", {sealrun::testing::SourceFile("tests/verify/make_random_objects.py").string(), dir_.Path().string(),
                           std::to_string(kFiles), "20261209"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  int compared = 0;
  int readByTheEngine = 0;  // files with an object the source alone could not stand for
  for (int i = 0; i < kFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "random-%03d.pdf", i);
    SCOPED_TRACE(name);
    external::DocumentHandle document;
    if (external::OpenDocument(engine_.get(), (dir_ / name).u16string(), document) != QP_OK) continue;
    DocumentFingerprint fresh(document.get());
    const auto text = fresh.ComputeDocumentFingerprint();
    // A file the engine repaired while reading it is another document the second time.
    if (qp_document_was_repaired(document.get()) != 0) continue;
    LoadEveryObject(document.get());
    if (qp_document_was_repaired(document.get()) != 0) continue;
    DocumentFingerprint loaded(document.get());
    EXPECT_EQ(loaded.ComputeDocumentFingerprint(), text);
    if (text) {
      EXPECT_EQ(loaded.PageLines(), fresh.PageLines());
    }
    ++compared;
    if (fresh.FallbackCount() > 0) ++readByTheEngine;
  }
  EXPECT_GE(compared, kFiles / 2);
  EXPECT_GT(readByTheEngine, 0);
}

std::string TextDigest(std::string_view text) {
  support::Sha1 sha1;
  sha1.Update(text);
  std::uint8_t out[29] = {};
  sha1.Final(out, support::Sha1Output::Text);
  return std::string(reinterpret_cast<const char*>(out), 28);
}

// Null entries and elements are written too; a reference element writes nothing but ends with a regular
// character, so two spaces meet before the null.
TEST_F(MadeFileTest, AnObjectIsWrittenWithItsKeyOrderStringFormsRealDigitsAndNameEscapes) {
  for (const auto& flags : std::vector<std::vector<std::string>>{{}, {"--object-stream", "--encrypt"}}) {
    const external::DocumentHandle document = Open(Make("probe.pdf", flags));
    ASSERT_TRUE(document);
    const external::PageHandle page = external::LoadPage(document.get(), 0);
    ASSERT_TRUE(page);
    const external::CosHandle probe(qp_cos_dict_gets(qp_page_object(page.get()), "Probe"));
    DocumentFingerprint fingerprint(document.get());
    ASSERT_TRUE(fingerprint.DigestCosValue(probe.get(), CosLevel::Top));
    const std::string expected =
        "<</Hex<414243>/Lit(\x01\xFF\x80)/Esc(a\\(b\\)\\\\ \\n\\t\\b)"
        "/Reals[0.123456789 -0.5 3.0 0.0000001 1.25 100.0000000001 -0.0 2]"
        "/Names[/A#20B/a#28b#29#5B#5D/S#harp/#2F/x\xE9]/Zed null/Flag true/Ref /Nested<</Z 1/A[ 5  null]>>>>";
    EXPECT_EQ(fingerprint.TakeDigestText(), TextDigest(expected)) << expected;
    // Below the top level the reference writes nothing.
    ASSERT_TRUE(fingerprint.DigestCosValue(probe.get(), CosLevel::Nested));
    EXPECT_EQ(fingerprint.TakeDigestText(), TextDigest(""));
    EXPECT_EQ(fingerprint.FallbackCount(), 0);
  }
}

}  // namespace
}  // namespace sealrun::verify::testing
