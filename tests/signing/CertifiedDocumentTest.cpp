// Certified documents are sealed only where their certification allows it: "no changes" refuses both forms,
// "form filling and signing" refuses seal annotations but takes a signature field, "also annotations" takes
// both. A refused file is left byte-identical; a sealed one keeps its certification signature valid.
#include <gtest/gtest.h>

#include "tests/signing/SealStampTestSupport.h"

namespace sealrun::signing::testing {
namespace {

using sealrun::testing::ReadFileBytes;
using sealrun::testing::WriteFileBytes;
using Stamp = StampResult (*)(const StampInputs&, std::u16string_view, std::u16string_view, StampRecord*);

class CertifiedDocumentTest : public StampFixture {
 protected:
  // qpdf-minimal.pdf certified with DocMDP permission `level` by a certificate made for the test.
  std::filesystem::path Certified(int level) {
    const auto& certifier = sealrun::testing::SharedTestIdentity();
    WriteFileBytes(temp_ / "certifier.pem", certifier.certificatePem);
    WriteFileBytes(temp_ / "certifier.key", certifier.privateKeyPem);
    const auto out = temp_ / ("certified-p" + std::to_string(level) + ".pdf");
    const ToolRun run = RunTool("/usr/bin/python3 " + Quote(sealrun::testing::SourceFile("tests/signing/certify.py")) +
                                " " + Quote(sealrun::testing::CorpusFile("qpdf-minimal.pdf")) + " " + Quote(out) + " " +
                                std::to_string(level) + " " + Quote(temp_ / "certifier.pem") + " " +
                                Quote(temp_ / "certifier.key"));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    return out;
  }

  // The signatures poppler finds valid.
  static int ValidForPdfsig(const std::filesystem::path& path) {
    const std::string text = RunTool("pdfsig -nocert " + Quote(path)).output;
    int valid = 0;
    for (auto at = text.find("Signature is Valid"); at != std::string::npos; at = text.find("Signature is Valid", at + 1))
      ++valid;
    return valid;
  }

  void ExpectRefused(Stamp stamp, const std::filesystem::path& path, verify::CertificationLevel level) {
    const std::string before = ReadFileBytes(path);
    StampRecord written;
    const StampResult result = stamp(inputs_, Wide(path), u"123456", &written);
    ASSERT_FALSE(result.Ok());
    EXPECT_EQ(result.Failure(), StampFailure::BreaksCertification) << result.Reason();
    EXPECT_EQ(result.Certification(), level);
    EXPECT_EQ(result.Code(), kStampOpenFailed);
    EXPECT_NE(result.Reason().find(verify::CertificationText(level)), std::string::npos) << result.Reason();
    EXPECT_EQ(ReadFileBytes(path), before) << "a refused file is left byte-identical";
    EXPECT_TRUE(written.text.empty());
  }

  void ExpectSealed(Stamp stamp, const std::filesystem::path& path) {
    const std::string before = ReadFileBytes(path);
    const int validBefore = ValidForPdfsig(path);
    const StampResult result = stamp(inputs_, Wide(path), u"123456", nullptr);
    ASSERT_TRUE(result.Ok()) << result.Reason();
    const std::string after = ReadFileBytes(path);
    EXPECT_EQ(after.compare(0, before.size(), before), 0) << "only an update is appended";
    EXPECT_GE(ValidForPdfsig(path), validBefore) << "the certification signature still verifies";
  }
};

TEST_F(CertifiedDocumentTest, NoChangesAllowedRefusesBothForms) {
  const auto path = CorpusCopy("pyhanko-certified-with-indirect-refs-in-dir.pdf");
  ASSERT_TRUE(path);
  ExpectRefused(&StampSealAnnotation, *path, verify::CertificationLevel::NoChanges);
  ExpectRefused(&StampSignatureField, *path, verify::CertificationLevel::NoChanges);
  const auto made = Certified(1);
  EXPECT_EQ(ValidForPdfsig(made), 1);
  ExpectRefused(&StampSealAnnotation, made, verify::CertificationLevel::NoChanges);
  ExpectRefused(&StampSignatureField, made, verify::CertificationLevel::NoChanges);
}

TEST_F(CertifiedDocumentTest, FormFillingAndSigningTakesASignatureFieldButNoSealAnnotation) {
  const auto path = Certified(2);
  ASSERT_EQ(ValidForPdfsig(path), 1);
  ExpectRefused(&StampSealAnnotation, path, verify::CertificationLevel::FormFillingAndSigning);
  ExpectSealed(&StampSignatureField, path);
  EXPECT_EQ(ValidForPdfsig(path), 2) << "the certification and the new seal";
}

TEST_F(CertifiedDocumentTest, AnnotationsAllowedTakeBothForms) {
  const auto path = Certified(3);
  ExpectSealed(&StampSealAnnotation, path);
  ExpectSealed(&StampSignatureField, path);
  EXPECT_EQ(ValidForPdfsig(path), 2);
}

}  // namespace
}  // namespace sealrun::signing::testing
