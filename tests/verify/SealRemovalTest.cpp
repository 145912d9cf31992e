// Removal of the latest seal from real sealed files: only the latest, only the owner's, one appended update
// per removal, nothing written otherwise; remaining signatures still verify, also for poppler's pdfsig.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/verify/SealedFiles.h"
#include "verify/DocumentVerification.h"
#include "verify/SealDiscovery.h"
#include "verify/SealRemoval.h"

namespace sealrun::verify::testing {
namespace {

// The key of the tests: its serial, and the certificate the seals' signatures are made with.
SealOwner Owner(std::u16string_view serial = kOwnSerial) {
  return {std::u16string(serial), *platform::crypto::Certificate::FromDer(sealrun::testing::SharedTestIdentity().certificateDer)};
}

class Removal : public SealedFiles {
 protected:
  // The removal's per-document number; the typed reason is kept in last_.
  int Remove(const std::filesystem::path& path, Form form, const SealOwner& owner = Owner()) {
    last_ = form == Form::SealAnnotation ? RemoveLatestSealAnnotation(engine_, Wide(path), 0, owner, outcome_)
                                         : RemoveLatestSignatureField(engine_, Wide(path), 0, owner, outcome_);
    return last_.Code();
  }
  RemovalResult last_;
  // The owners' serials of the seals of one form, sorted (the forms are listed in different orders).
  std::vector<std::u16string> Owners(const std::filesystem::path& path, Form form) {
    std::vector<std::u16string> owners;
    const DocumentHandle document = OpenDocument(engine_, Wide(path));
    if (!document) return owners;
    const auto examination =
        form == Form::SealAnnotation ? ExamineSealAnnotations(document.get()) : ExamineSignatureFields(document.get());
    for (const auto& seal : examination.seals) {
      EXPECT_TRUE(seal.valid) << "a remaining seal no longer verifies";
      owners.push_back(RecordBelongsTo(seal.record, kOwnSerial) ? kOwnSerial : kOtherSerial);
    }
    std::sort(owners.begin(), owners.end());
    return owners;
  }
  // The file grew by an appended update: everything it held before is still its prefix.
  static void ExpectAppendedTo(const std::string& before, const std::filesystem::path& path) {
    const std::string after = Bytes(path);
    EXPECT_GT(after.size(), before.size());
    EXPECT_EQ(after.compare(0, before.size(), before), 0) << "the earlier revisions were rewritten";
  }
};

TEST_F(Removal, EachRunTakesOnlyTheLatestSealAcrossPages) {
  for (const Form form : {Form::SealAnnotation, Form::SignatureField}) {
    SCOPED_TRACE(form == Form::SealAnnotation ? "seal annotations" : "signature fields");
    const auto path = Base(form == Form::SealAnnotation ? "annotations.pdf" : "fields.pdf", 3);
    // Applied on pages 3, then 1: the latest stands on the earlier page.
    ASSERT_EQ(Seal(path, form, kOtherSerial, 2), 0);
    ASSERT_EQ(Seal(path, form, kOwnSerial, 0), 0);
    ASSERT_EQ(Seal(path, form, kOwnSerial, 1), 0);
    std::string before = Bytes(path);
    EXPECT_EQ(Remove(path, form), kSealRemoved);
    ExpectAppendedTo(before, path);
    EXPECT_EQ(Owners(path, form), (std::vector<std::u16string>{kOwnSerial, kOtherSerial}));
    before = Bytes(path);
    EXPECT_EQ(Remove(path, form), kSealRemoved);
    ExpectAppendedTo(before, path);
    EXPECT_EQ(Owners(path, form), std::vector<std::u16string>{kOtherSerial});
    // The latest is now another key's: nothing goes and nothing is written.
    before = Bytes(path);
    EXPECT_EQ(Remove(path, form), kNothingRemoved);
    EXPECT_EQ(last_.Failure(), RemovalFailure::OtherOwner);
    EXPECT_EQ(Bytes(path), before);
    EXPECT_EQ(failed_, std::vector<int>{0});
    failed_.clear();
  }
}

TEST_F(Removal, AnotherKeysLatestSealProtectsOlderOwnSeals) {
  const auto path = Base("protected.pdf");
  ASSERT_EQ(Seal(path, Form::SealAnnotation, kOwnSerial), 0);
  ASSERT_EQ(Seal(path, Form::SealAnnotation, kOtherSerial), 0);
  platform::ui::ListView list(1);
  list.InsertRow(0, u"protected.pdf");
  const RowOutcome outcome{failed_, &list};
  const std::string before = Bytes(path);
  const RemovalResult result = RemoveLatestSealAnnotation(engine_, Wide(path), 0, Owner(), outcome);
  EXPECT_EQ(result.Code(), kNothingRemoved);
  ASSERT_FALSE(result.Removed());
  EXPECT_EQ(result.Failure(), RemovalFailure::OtherOwner);
  EXPECT_EQ(Bytes(path), before);
  EXPECT_EQ(failed_, std::vector<int>{0});
  EXPECT_NE(list.ItemState(0, platform::ui::kLvisDropHilited), 0u);
}

TEST_F(Removal, AnEmptyKeySerialOwnsNothing) {
  const auto path = Base("empty-serial.pdf");
  ASSERT_EQ(Seal(path, Form::SealAnnotation), 0);
  ASSERT_EQ(Seal(path, Form::SignatureField), 0);
  const std::string before = Bytes(path);
  for (const Form form : {Form::SealAnnotation, Form::SignatureField}) {
    EXPECT_EQ(Remove(path, form, Owner(u"")), kNothingRemoved);
    EXPECT_EQ(last_.Failure(), RemovalFailure::OtherOwner);
  }
  EXPECT_EQ(Bytes(path), before);
  EXPECT_FALSE(RecordBelongsTo(u"KeySerial=X\r\n", u""));
  EXPECT_TRUE(RecordBelongsTo(u"KeySerial=X\r\n", u"X"));
}

TEST_F(Removal, FilesWithoutSealsDamagedRecordsOrThatCannotBeOpenedOrWrittenKeepEverything) {
  const auto plain = Base("plain.pdf");
  std::string before = Bytes(plain);
  for (const Form form : {Form::SealAnnotation, Form::SignatureField}) {
    EXPECT_EQ(Remove(plain, form), kNothingRemoved);
    EXPECT_EQ(last_.Failure(), RemovalFailure::NoSeal);
    EXPECT_EQ(last_.RowHighlight(), Highlight::Yes);
  }
  EXPECT_EQ(Bytes(plain), before);

  const auto sealed = Base("sealed.pdf");
  ASSERT_EQ(Seal(sealed, Form::SealAnnotation), 0);
  for (const std::string edit : {"damage-record", "huge-record"}) {
    const auto damaged = Tamper(edit, sealed);
    before = Bytes(damaged);
    EXPECT_EQ(Remove(damaged, Form::SealAnnotation), kNothingRemoved) << edit;
    EXPECT_EQ(last_.Failure(), RemovalFailure::RecordUnreadable) << edit;
    EXPECT_EQ(Bytes(damaged), before) << edit;
  }

  EXPECT_EQ(Remove(temp_ / "missing.pdf", Form::SealAnnotation), kDocumentOpenFailed);
  EXPECT_EQ(last_.Failure(), RemovalFailure::NotOpened);
  EXPECT_EQ(last_.RowHighlight(), Highlight::No);

  const auto readOnly = Copy(sealed, "read-only.pdf");
  std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  before = Bytes(readOnly);
  const int result = Remove(readOnly, Form::SealAnnotation);
  EXPECT_NE(result, kSealRemoved);
  EXPECT_NE(result, kNothingRemoved);
  EXPECT_EQ(last_.Failure(), RemovalFailure::NotSaved);
  EXPECT_EQ(last_.EngineCode(), result) << "the engine's save result passes through";
  EXPECT_EQ(Bytes(readOnly), before);
  EXPECT_EQ(failed_.size(), 6u);  // every call above failed
}

TEST_F(Removal, TheFieldAndItsWidgetGoAndTheRemainingSignaturesStillVerifyForPdfsig) {
  const auto path = Base("pdfsig.pdf");
  ASSERT_EQ(Seal(path, Form::SignatureField, kOtherSerial), 0);
  ASSERT_EQ(Seal(path, Form::SignatureField, kOwnSerial), 0);
  ASSERT_EQ(Remove(path, Form::SignatureField), kSealRemoved);

  const DocumentHandle document = OpenDocument(engine_, Wide(path));
  ASSERT_TRUE(document);
  int fields = 0;
  for (qp_field field = qp_load_acroform_field(document.get()); field != nullptr; field = qp_field_next(field)) ++fields;
  EXPECT_EQ(fields, 1);
  int widgets = 0;
  const PageHandle page = LoadPage(document.get(), 0);
  ASSERT_TRUE(page);
  for (qp_annot annotation = qp_page_load_annots(page.get()); annotation != nullptr; annotation = qp_annot_next(annotation))
    widgets += std::string(qp_annot_get_subtype(annotation)) == "Widget";
  EXPECT_EQ(widgets, 1);

  const ToolRun pdfsig = RunTool("pdfsig " + Quote(path));
  EXPECT_NE(pdfsig.output.find("Signature #1"), std::string::npos) << pdfsig.output;
  EXPECT_NE(pdfsig.output.find("Signature is Valid"), std::string::npos) << pdfsig.output;
  EXPECT_EQ(pdfsig.output.find("Signature is Invalid"), std::string::npos) << pdfsig.output;
  EXPECT_EQ(Owners(path, Form::SignatureField), std::vector<std::u16string>{kOtherSerial});
}

}  // namespace
}  // namespace sealrun::verify::testing
