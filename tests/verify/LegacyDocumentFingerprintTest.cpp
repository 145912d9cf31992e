// The fingerprint of the earlier release, kept so that verification can recognise the seals it made: the same
// texts as that release for real files, and the extensions it had beyond the rules (references followed below
// the top level, inherited resources read).
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "tests/testsupport/TempDir.h"
#include "tests/verify/FingerprintFixture.h"
#include "verify/DocumentFingerprint.h"
#include "verify/LegacyDocumentFingerprint.h"
#include "verify/RevisionHistory.h"
#include "verify/RevisionVerdict.h"

namespace sealrun::verify::testing {
namespace {

class LegacyFingerprintTest : public FingerprintTest {
 protected:
  std::string LegacyOf(const std::filesystem::path& path) {
    const DocumentHandle document = Open(path);
    const auto text = LegacyDocumentFingerprint(document.get());
    EXPECT_TRUE(text.has_value()) << path;
    return text ? std::string(text->begin(), text->end()) : std::string();
  }
};

// Computed by the release's code before the exact fingerprint replaced it: seals in the field hold these.
TEST_F(LegacyFingerprintTest, CorpusFilesGiveTheTextsOfTheEarlierRelease) {
  const std::pair<const char*, const char*> recorded[] = {
      {"pdfjs-tracemonkey.pdf", "lZU9Uob13wrdy=HtOBUvgo4ZSW2T"},
      {"derived-objstm-ctex-faq.pdf", "CmLdW3kQpVnIZjBCZb5drfkl=ArT"},
      {"derived-aes128-r4-nomodify-noform-FormTestFromOo.pdf", "sWevWhlqiMsLxL=DVXhhxRh6of=T"},
      {"derived-aes256-r6-nomodify-zhlipsum.pdf", "CWuMIpq=EyERYK0miL6fUfQfELLT"},
      {"pypdf-r2-empty-password.pdf", "x+0ApI3lBNugzKyb2ZXzkH3GrXtT"},
      {"pdfjs-prefilled_f1040.pdf", "COyWwd6wSDnhd7E+xPtlSoFQZAyT"},
      {"pypdf-commented.pdf", "s5D2HnnXt=3l5boMRVB/WiHtvJfT"},
      {"qpdf-overlay-copy-annotations.pdf", "cBDJqjQCEq0gXKypZhiv8dDvbdZT"},
      {"pdfjs-issue17147.pdf", "h+uwbN=1mLBahGP4ir=R6SM4/j2T"},
      {"texlive-zhlipsum.pdf", "d2DlOSbV5OzBFGzN4amZ1hiBu22T"},
      {"qpdf-minimal.pdf", "tzsWJ92ENpqJ=SAdjNzfSdHr/zkT"},
  };
  for (const auto& [name, text] : recorded) {
    EXPECT_EQ(LegacyOf(sealrun::testing::CorpusFile(name)), text) << name;
  }
}

TEST_F(LegacyFingerprintTest, ReachesWhatReferencesBelowTheTopLevelAndInheritedResourcesLeadTo) {
  const auto base = Base("doc.pdf");
  std::set<std::string> seen{LegacyOf(base)};
  for (const char* edit : {"nested-image", "annot-appearance", "content-byte"}) {
    EXPECT_TRUE(seen.insert(LegacyOf(Edit(edit, base))).second) << edit << " left the fingerprint as it was";
  }
  EXPECT_NE(LegacyOf(Base("inherited.pdf", {"--inherited"})),
            LegacyOf(Base("inherited-courier.pdf", {"--inherited", "--courier"})));
  // Seals and signature widgets stay outside it as well.
  EXPECT_EQ(LegacyOf(Edit("add-seal", base)), LegacyOf(base));
  EXPECT_EQ(LegacyOf(Edit("add-sig-widget", base)), LegacyOf(base));
}

// A seal made by the earlier release holds with a note, not as a mismatch; any other fingerprint does not.
TEST_F(LegacyFingerprintTest, ASealOfTheEarlierReleaseIsRecognisedByItsFingerprint) {
  const DocumentHandle document = Open(sealrun::testing::CorpusFile("pdfjs-tracemonkey.pdf"));
  ASSERT_TRUE(document);
  DocumentFingerprint exact(document.get());
  const std::optional<std::u16string> current = exact.ComputeDocumentFingerprint();
  ASSERT_TRUE(current.has_value());
  ASSERT_NE(*current, u"lZU9Uob13wrdy=HtOBUvgo4ZSW2T") << "the two computations differ on this file";
  for (const auto& [stored, holds] : {std::pair{u"lZU9Uob13wrdy=HtOBUvgo4ZSW2T", true},
                                      std::pair{u"AAAAAAAAAAAAAAAAAAAAAAAAAAAT", false}}) {
    RevisionHistory history(document.get());
    RevisionFingerprints fingerprints(history);
    SealVerdict seal;
    seal.recordState = RecordState::Readable;
    seal.record = u"KeySerial=ZQ-DEMO-0001\r\nstrMd5=" + std::u16string(stored) + u"\r\n";
    JudgeSealAnnotation(seal, history, fingerprints, current);
    EXPECT_EQ(seal.valid, holds);
    const bool noted = std::count(seal.findings.begin(), seal.findings.end(), Finding::NoteEarlierFingerprint) == 1;
    const bool mismatch = std::count(seal.findings.begin(), seal.findings.end(), Finding::FingerprintMismatch) == 1;
    EXPECT_EQ(noted, holds);
    EXPECT_EQ(mismatch, !holds);
  }
}

}  // namespace
}  // namespace sealrun::verify::testing
