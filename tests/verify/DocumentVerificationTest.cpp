// Verification of real sealed files: counts and result texts in both modes, files that do not open, seals
// whose records are missing, damaged or absurdly large, and files left byte-identical.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/verify/SealedFiles.h"
#include "verify/DocumentVerification.h"
#include "platform/fs/Files.h"

namespace sealrun::verify::testing {
namespace {

class Verification : public SealedFiles {
 protected:
  struct Outcome {
    int invalid = 0;
    std::u16string text;
  };
  Outcome Verify(const std::filesystem::path& path, Form form, int row = 0) {
    Outcome outcome;
    const std::string before = Bytes(path);
    const VerificationResult result = form == Form::SealAnnotation
                                          ? VerifySealAnnotations(engine_, Wide(path), row, outcome_)
                                          : VerifySignatureFields(engine_, Wide(path), row, outcome_);
    outcome.invalid = result.Code();
    outcome.text = result.Text();
    EXPECT_EQ(Bytes(path), before) << "verification changed " << path;
    return outcome;
  }
};

TEST_F(Verification, SealsOfBothFormsCountAsValidUntilTheDocumentChanges) {
  const auto annotated = Base("annotated.pdf", 2);
  ASSERT_EQ(Seal(annotated, Form::SealAnnotation, kOwnSerial, 0), 0);
  ASSERT_EQ(Seal(annotated, Form::SealAnnotation, kOtherSerial, 1), 0);
  auto outcome = Verify(annotated, Form::SealAnnotation);
  EXPECT_EQ(outcome.invalid, 0);
  EXPECT_EQ(outcome.text, u"印章总数:2 有效:2 失效:0");
  // The other mode does not look at seal annotations.
  EXPECT_EQ(Verify(annotated, Form::SignatureField).text, u"印章总数:0 有效:0 失效:0");

  const auto signedFile = Base("signed.pdf");
  ASSERT_EQ(Seal(signedFile, Form::SignatureField), 0);
  ASSERT_EQ(Seal(signedFile, Form::SignatureField), 0);
  outcome = Verify(signedFile, Form::SignatureField);
  EXPECT_EQ(outcome.invalid, 0);
  EXPECT_EQ(outcome.text, u"印章总数:2 有效:2 失效:0");
  EXPECT_TRUE(failed_.empty());
}

TEST_F(Verification, OneValidAndOneTamperedSignatureFailTheFileAndHighlightItsRow) {
  const auto path = Base("mixed.pdf");
  ASSERT_EQ(Seal(path, Form::SignatureField), 0);
  // A later revision changes the page's content; the signature after it covers the changed page.
  const auto changed = Tamper("content-update", path);
  ASSERT_EQ(Seal(changed, Form::SignatureField), 0);

  platform::ui::ListView list(1);
  for (int row = 0; row < 3; ++row) list.InsertRow(row, u"row");
  const RowOutcome outcome{failed_, &list};
  const VerificationResult result = VerifySignatureFields(engine_, Wide(changed), 2, outcome);
  EXPECT_EQ(result.Code(), 1);
  EXPECT_EQ(result.Text(), u"印章总数:2 有效:1 失效:1");
  EXPECT_EQ(result.Valid(), 1);
  EXPECT_EQ(result.Reason(), "1 of 2 seals invalid");
  EXPECT_EQ(failed_, std::vector<int>{2});
  EXPECT_NE(list.ItemState(2, platform::ui::kLvisDropHilited), 0u);
  EXPECT_EQ(list.ItemState(1, platform::ui::kLvisDropHilited), 0u);
}

TEST_F(Verification, FilesThatDoNotOpenFailWithoutHighlight) {
  const auto notPdf = temp_ / "note.pdf";
  platform::fs::ReplaceFileAtomically(notPdf, "just some text, no PDF\n");
  const auto sealed = Base("sealed.pdf");
  ASSERT_EQ(Seal(sealed, Form::SealAnnotation), 0);
  const std::string whole = Bytes(sealed);
  const auto truncated = temp_ / "truncated.pdf";
  platform::fs::ReplaceFileAtomically(truncated, whole.substr(0, 40));
  const auto missing = temp_ / "missing.pdf";

  platform::ui::ListView list(1);
  for (int row = 0; row < 3; ++row) list.InsertRow(row, u"row");
  const RowOutcome outcome{failed_, &list};
  int row = 0;
  for (const auto& path : {notPdf, truncated, missing}) {
    const VerificationResult result = VerifySealAnnotations(engine_, Wide(path), row, outcome);
    EXPECT_EQ(result.Code(), kDocumentOpenFailed) << path;
    EXPECT_FALSE(result.Opened());
    EXPECT_EQ(result.Text(), u"文档打开失败");
    EXPECT_EQ(list.ItemState(row, platform::ui::kLvisDropHilited), 0u);
    ++row;
  }
  EXPECT_EQ(failed_, (std::vector<int>{0, 1, 2}));
}

// The second page of the tree is no dictionary: its seals, if any, cannot be read, so the file's counts would
// stand for its first page only. It fails as a document that does not open.
TEST_F(Verification, APageThatCannotBeReadFailsTheFileInsteadOfHidingItsSeals) {
  std::string bytes = "%PDF-1.7\n";
  std::vector<std::size_t> offsets;
  for (const std::string object :
       {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>", "42"}) {
    offsets.push_back(bytes.size());
    bytes += std::to_string(offsets.size()) + " 0 obj\n" + object + "\nendobj\n";
  }
  const std::size_t xref = bytes.size();
  bytes += "xref\n0 5\n0000000000 65535 f \n";
  for (const std::size_t offset : offsets) {
    const std::string digits = std::to_string(offset);
    bytes += std::string(10 - digits.size(), '0') + digits + " 00000 n \n";
  }
  bytes += "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  const auto path = temp_ / "unreadable-page.pdf";
  platform::fs::ReplaceFileAtomically(path, bytes);

  const RowOutcome outcome{failed_, nullptr};
  const VerificationResult result = VerifySealAnnotations(engine_, Wide(path), 4, outcome);
  EXPECT_TRUE(result.Failed());
  EXPECT_EQ(result.Code(), kDocumentOpenFailed);
  EXPECT_EQ(result.Text(), u"文档打开失败");
  EXPECT_EQ(result.Reason(), "a page of the document cannot be read");
  EXPECT_EQ(failed_, (std::vector<int>{4}));
}

TEST_F(Verification, AFileWithoutSealsIsValidWithThreeZeros) {
  const auto path = Base("plain.pdf");
  for (const Form form : {Form::SealAnnotation, Form::SignatureField}) {
    const auto outcome = Verify(path, form);
    EXPECT_EQ(outcome.invalid, 0);
    EXPECT_EQ(outcome.text, u"印章总数:0 有效:0 失效:0");
  }
  EXPECT_TRUE(failed_.empty());
}

TEST_F(Verification, SealRecordsThatAreMissingDamagedOrHugeAreHandled) {
  const auto path = Base("records.pdf");
  ASSERT_EQ(Seal(path, Form::SealAnnotation), 0);
  // A seal annotation without any record is not a seal that counts; added after a seal, it is an overlay
  // nothing verifies, which that seal does not allow.
  const auto marker = Tamper("seal-marker", path);
  EXPECT_EQ(Verify(marker, Form::SealAnnotation).text, u"印章总数:1 有效:0 失效:1");

  // Another record version, or a record stream decoding to 16 MiB: the seal counts, as invalid.
  ASSERT_EQ(Seal(path, Form::SealAnnotation), 0);
  for (const std::string edit : {"damage-record", "huge-record"}) {
    const auto damaged = Tamper(edit, path);
    const auto outcome = Verify(damaged, Form::SealAnnotation);
    EXPECT_EQ(outcome.invalid, 1) << edit;
    EXPECT_EQ(outcome.text, u"印章总数:2 有效:1 失效:1") << edit;
  }
}

TEST_F(Verification, ExaminationReportsEachSealWithItsRecordPageAndObject) {
  const auto path = Base("examined.pdf", 3);
  ASSERT_EQ(Seal(path, Form::SealAnnotation, kOwnSerial, 2), 0);
  ASSERT_EQ(Seal(path, Form::SignatureField, kOtherSerial, 1), 0);
  const DocumentHandle document = OpenDocument(engine_, Wide(path));
  ASSERT_TRUE(document);
  const auto annotations = ExamineSealAnnotations(document.get());
  ASSERT_EQ(annotations.seals.size(), 1u);
  EXPECT_EQ(annotations.seals[0].pageIndex, 2);
  EXPECT_GT(annotations.seals[0].objectNumber, 0);
  EXPECT_NE(annotations.seals[0].record.find(u"KeySerial=ZQ-DEMO-0001\r\n"), std::u16string::npos);
  EXPECT_NE(annotations.seals[0].record.find(u"strMd5="), std::u16string::npos);
  EXPECT_TRUE(annotations.seals[0].valid);

  const auto fields = ExamineSignatureFields(document.get());
  ASSERT_EQ(fields.seals.size(), 1u);
  EXPECT_EQ(fields.seals[0].pageIndex, 1);
  EXPECT_NE(fields.seals[0].record.find(u"SignatureKeySN:ZQ-OTHER-0042;"), std::u16string::npos);
  EXPECT_TRUE(fields.seals[0].valid);
}

}  // namespace
}  // namespace sealrun::verify::testing
