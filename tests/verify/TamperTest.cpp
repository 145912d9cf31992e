// Verification is only worth something if it catches tampering. Each sealed file is changed by an outside
// tool (pikepdf, or an incremental update appended by hand) and the verdict checked: changes to what a seal
// stands for make it invalid, later seals and signatures do not. LaterChangesTest names each change.
#include <gtest/gtest.h>

#include <string>

#include "tests/verify/SealedFiles.h"
#include "verify/DocumentVerification.h"

namespace sealrun::verify::testing {
namespace {

class Tampering : public SealedFiles {
 protected:
  std::u16string Verdict(const std::filesystem::path& path, Form form) {
    const VerificationResult result = form == Form::SealAnnotation
                                          ? VerifySealAnnotations(engine_, Wide(path), 0, outcome_)
                                          : VerifySignatureFields(engine_, Wide(path), 0, outcome_);
    return result.Text();
  }
};

TEST_F(Tampering, SealAnnotationsTurnInvalidWhenWhatTheyStandForChanges) {
  const auto sealed = Base("sealed.pdf", 2);
  ASSERT_EQ(Seal(sealed, Form::SealAnnotation), 0);
  ASSERT_EQ(Seal(sealed, Form::SealAnnotation, kOtherSerial, 1), 0);
  ASSERT_EQ(Verdict(sealed, Form::SealAnnotation), u"印章总数:2 有效:2 失效:0");
  // A seal annotation added without a record is an overlay nothing verifies: it does not count as a seal,
  // and it changes what the page shows.
  for (const std::string edit : {"flip-content", "content-update", "add-annot", "remove-annot", "edit-annot",
                                 "resources", "reorder", "seal-marker"}) {
    const auto changed = Tamper(edit, sealed);
    EXPECT_EQ(Verdict(changed, Form::SealAnnotation), u"印章总数:2 有效:0 失效:2") << edit;
  }
}

TEST_F(Tampering, SealAnnotationsStayValidWhenSealsOrSignaturesAreAdded) {
  const auto sealed = Base("sealed.pdf");
  ASSERT_EQ(Seal(sealed, Form::SealAnnotation), 0);
  ASSERT_EQ(Seal(sealed, Form::SignatureField), 0);
  ASSERT_EQ(Seal(sealed, Form::SealAnnotation, kOtherSerial), 0);
  EXPECT_EQ(Verdict(sealed, Form::SealAnnotation), u"印章总数:2 有效:2 失效:0");
}

TEST_F(Tampering, SignaturesTurnInvalidWhenSignedBytesOrLaterPageContentChange) {
  const auto sealed = Base("signed.pdf", 2);
  ASSERT_EQ(Seal(sealed, Form::SignatureField), 0);
  ASSERT_EQ(Verdict(sealed, Form::SignatureField), u"印章总数:1 有效:1 失效:0");
  // A byte inside the signed revision.
  EXPECT_EQ(Verdict(Tamper("flip-content", sealed), Form::SignatureField), u"印章总数:1 有效:0 失效:1");
  // Later revisions that change what the pages show, annotations and seal overlays without a record included.
  for (const std::string edit : {"content-update", "resources", "reorder", "add-annot", "seal-marker"}) {
    EXPECT_EQ(Verdict(Tamper(edit, sealed), Form::SignatureField), u"印章总数:1 有效:0 失效:1") << edit;
  }
}

TEST_F(Tampering, SignaturesStayValidWhenLaterSealsOrFieldsAreAppended) {
  const auto sealed = Base("signed.pdf");
  ASSERT_EQ(Seal(sealed, Form::SignatureField), 0);
  ASSERT_EQ(Seal(sealed, Form::SealAnnotation), 0);
  ASSERT_EQ(Seal(sealed, Form::SignatureField, kOtherSerial), 0);
  EXPECT_EQ(Verdict(sealed, Form::SignatureField), u"印章总数:2 有效:2 失效:0");
}

}  // namespace
}  // namespace sealrun::verify::testing
