// The benchmarks' set-up must give what their figures claim: fresh writable copies of the right files, a
// 200-page document, a loaded demo key whose stamps verify in both modes, and a pdfsig that signs with
// the same key and validates through the trusted root. A set-up that quietly fails would measure
// refusals instead of seals.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "bench/support/PdfsigKeys.h"
#include "bench/support/SampleFiles.h"
#include "bench/support/SealSession.h"
#include "bench/support/TempFolder.h"
#include "bench/support/ToolProcess.h"
#include "external/QpHandles.h"
#include "platform/text/Utf.h"
#include "verify/DocumentVerification.h"
#include "verify/RowOutcome.h"

namespace sealrun::bench {
namespace {

namespace fs = std::filesystem;

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(BenchToolProcess, ExitCodeAndBothStreamsAreCollected) {
  const ToolRun run = RunProgram({"sh", "-c", "printf out; printf err >&2; exit 3"});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_NE(run.output.find("out"), std::string::npos);
  EXPECT_NE(run.output.find("err"), std::string::npos);
  // Arguments reach the program as they are, spaces and quotes included: no shell in between.
  EXPECT_EQ(RunProgram({"printf", "%s|", "a b", "'c'"}).output, "a b|'c'|");
  EXPECT_EQ(RunProgram({"sealrun-no-such-program"}).exitCode, -1);
  // More than a pipe holds: the reader must drain while the program writes, or both wait for ever.
  EXPECT_EQ(RunProgram({"head", "-c", "300000", "/dev/zero"}).output.size(), 300000u);
  EXPECT_EQ(RunProgram({}).exitCode, -1);
}

TEST(BenchTempFolder, IsRemovedWithItsContents) {
  fs::path kept;
  {
    const TempFolder folder("sealrun-bench-test");
    ASSERT_FALSE(folder.Path().empty());
    kept = folder.Path();
    fs::create_directories(folder / "inner");
    std::ofstream(folder / "inner" / "file.pdf") << "x";
  }
  EXPECT_FALSE(fs::exists(kept));
}

TEST(BenchSampleFiles, CopiesAreFreshWritableAndReplaceSealedOnes) {
  ASSERT_TRUE(fs::exists(OnePageSource())) << "corpus file missing: " << OnePageSource();
  const TempFolder folder("sealrun-bench-test");
  auto copies = FreshCopies(OnePageSource(), folder / "set", 3);
  ASSERT_EQ(copies.size(), 3u);
  const std::string original = Bytes(OnePageSource());
  for (const auto& copy : copies) {
    EXPECT_EQ(Bytes(copy), original);
    EXPECT_NE(fs::status(copy).permissions() & fs::perms::owner_write, fs::perms::none) << copy;
  }
  EXPECT_NE(copies[0], copies[2]);
  // A copy changed by a previous iteration comes back unsealed.
  std::ofstream(copies[1], std::ios::app) << "appended update";
  copies = FreshCopies(OnePageSource(), folder / "set", 3);
  ASSERT_EQ(copies.size(), 3u);
  EXPECT_EQ(Bytes(copies[1]), original);
  EXPECT_TRUE(FreshCopies(folder / "missing.pdf", folder / "set", 2).empty());
}

TEST(BenchSampleFiles, NoLongSourceWithoutTheCorpusFile) {
  const TempFolder folder("sealrun-bench-test");
  const char* previous = std::getenv("SEALRUN_CORPUS");
  const std::string kept = previous != nullptr ? previous : "";
  setenv("SEALRUN_CORPUS", folder.Path().c_str(), 1);
  EXPECT_TRUE(MakeLongSource(folder.Path()).empty());
  EXPECT_FALSE(fs::exists(folder / "long-200.pdf"));
  if (previous != nullptr)
    setenv("SEALRUN_CORPUS", kept.c_str(), 1);
  else
    unsetenv("SEALRUN_CORPUS");
}

TEST(BenchSampleFiles, LongSourceHasTwoHundredPages) {
  const TempFolder folder("sealrun-bench-test");
  const fs::path made = MakeLongSource(folder.Path());
  ASSERT_FALSE(made.empty());
  const ToolRun pages = RunProgram({"qpdf", "--show-npages", made.string()});
  EXPECT_EQ(pages.output, std::to_string(kLongFilePages) + "\n");
  EXPECT_EQ(RunProgram({"qpdf", "--check", made.string()}).exitCode, 0);
}

TEST(BenchPdfsigKeys, ReportCountsEverySignatureAndItsCertificate) {
  const std::string valid =
      "Signature #1:\n  - Signature Validation: Signature is Valid.\n"
      "  - Certificate Validation: Certificate is Trusted.\n";
  EXPECT_TRUE(PdfsigReportsAllValid(valid, 1));
  EXPECT_FALSE(PdfsigReportsAllValid(valid, 2));
  EXPECT_FALSE(PdfsigReportsAllValid(valid + "Signature #2:\n  - Signature Validation: Digest Mismatch.\n"
                                              "  - Certificate Validation: Certificate is Trusted.\n", 2));
  EXPECT_FALSE(PdfsigReportsAllValid("  - Signature Validation: Signature is Valid.\n"
                                     "  - Certificate Validation: Certificate issuer isn't Trusted.\n", 1));
  EXPECT_FALSE(PdfsigReportsAllValid("File 'x.pdf' does not contain any signatures\n", 1));
}

// One key session per process: it points the registry and key folders of the process at its own.
class BenchWithDemoKey : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    session_ = SealSession::Create(sessionFailure_).release();
    pdfsig_ = PdfsigKeys::Create(pdfsigFailure_).release();
  }
  static void TearDownTestSuite() {
    std::unique_ptr<SealSession>{std::exchange(session_, nullptr)};
    std::unique_ptr<PdfsigKeys>{std::exchange(pdfsig_, nullptr)};
  }
  void SetUp() override {
    ASSERT_TRUE(fs::exists(OnePageSource())) << "corpus file missing: " << OnePageSource();
    ASSERT_NE(session_, nullptr) << sessionFailure_;
    ASSERT_NE(pdfsig_, nullptr) << pdfsigFailure_;
  }

  static inline SealSession* session_ = nullptr;
  static inline std::string sessionFailure_;
  static inline PdfsigKeys* pdfsig_ = nullptr;
  static inline std::string pdfsigFailure_;
  TempFolder folder_{"sealrun-bench-test"};
};

TEST_F(BenchWithDemoKey, StampsOfBothModesVerifyAndPdfsigAcceptsTheSignatureField) {
  const auto copies = FreshCopies(OnePageSource(), folder_ / "sealed", 2);
  ASSERT_EQ(copies.size(), 2u);
  std::vector<int> failed;
  const verify::RowOutcome outcome{failed, nullptr};

  ASSERT_EQ(session_->Stamp(copies[0], StampMode::SealAnnotation), 0);
  verify::VerificationResult result = verify::VerifySealAnnotations(session_->Engine(), copies[0].u16string(), 0, outcome);
  EXPECT_EQ(result.Code(), 0);
  EXPECT_EQ(result.Text(), u"印章总数:1 有效:1 失效:0");
  EXPECT_NE(Bytes(copies[0]).find("/certSignMsg"), std::string::npos)
      << "a run's seal annotation carries the certificate library's signed message";

  ASSERT_EQ(session_->Stamp(copies[1], StampMode::SignatureField), 0);
  result = verify::VerifySignatureFields(session_->Engine(), copies[1].u16string(), 1, outcome);
  EXPECT_EQ(result.Code(), 0);
  EXPECT_EQ(result.Text(), u"印章总数:1 有效:1 失效:0");
  EXPECT_TRUE(failed.empty());
  const ToolRun check = RunProgram(pdfsig_->VerifyCommand(copies[1]));
  EXPECT_TRUE(PdfsigReportsAllValid(check.output, 1)) << check.output;
}

TEST_F(BenchWithDemoKey, SealsCarryTheDemoKeysRecordOnTheFirstOfTwoHundredPages) {
  const fs::path source = MakeLongSource(folder_.Path());
  ASSERT_FALSE(source.empty());
  const auto copies = FreshCopies(source, folder_ / "long", 2);
  ASSERT_EQ(copies.size(), 2u);
  ASSERT_EQ(session_->Stamp(copies[0], StampMode::SealAnnotation), 0);
  ASSERT_EQ(session_->Stamp(copies[1], StampMode::SignatureField), 0);

  const external::DocumentHandle annotated = external::OpenDocument(session_->Engine(), copies[0].u16string());
  ASSERT_TRUE(annotated);
  const auto seals = verify::ExamineSealAnnotations(annotated.get()).seals;
  ASSERT_EQ(seals.size(), 1u);
  EXPECT_TRUE(seals[0].valid);
  EXPECT_EQ(seals[0].pageIndex, 0);
  for (const char16_t* expected : {u"ZQ-DEMO-0001", u"演示公章", u"DEMO-SEAL-0001"})
    EXPECT_NE(seals[0].record.find(expected), std::u16string::npos) << "record: " << platform::text::Utf16ToUtf8(seals[0].record);

  const external::DocumentHandle fielded = external::OpenDocument(session_->Engine(), copies[1].u16string());
  ASSERT_TRUE(fielded);
  const auto fields = verify::ExamineSignatureFields(fielded.get()).seals;
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_TRUE(fields[0].valid);
  const ToolRun check = RunProgram(pdfsig_->VerifyCommand(copies[1]));
  EXPECT_TRUE(PdfsigReportsAllValid(check.output, 1)) << check.output;
  EXPECT_NE(check.output.find("Signer Certificate Common Name: 演示签章人"), std::string::npos)
      << "the field is signed with the demo key's certificate";
}

TEST_F(BenchWithDemoKey, PdfsigSignsWithTheDemoKeyAndLeavesItsInputAlone) {
  EXPECT_EQ(pdfsig_->Nickname(), "演示签章人");
  const auto copies = FreshCopies(OnePageSource(), folder_ / "pdfsig", 1);
  ASSERT_EQ(copies.size(), 1u);
  const fs::path out = folder_ / "signed.pdf";
  const ToolRun run = RunProgram(pdfsig_->SignCommand(copies[0], out));
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(Bytes(copies[0]), Bytes(OnePageSource()));
  const ToolRun check = RunProgram(pdfsig_->VerifyCommand(out));
  EXPECT_TRUE(PdfsigReportsAllValid(check.output, 1)) << check.output;
  EXPECT_NE(check.output.find("演示签章人"), std::string::npos);
}

}  // namespace
}  // namespace sealrun::bench
