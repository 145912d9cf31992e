// A removal's copy replaces the file only when it is the file with one update appended, the removed seal is
// gone from its page and every other valid seal still verifies; otherwise the file stays byte-identical and
// the row fails with the reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/verify/SealedFiles.h"
#include "verify/DocumentVerification.h"
#include "verify/RemovalCopyCheck.h"
#include "verify/SealDiscovery.h"
#include "verify/SealRemoval.h"

namespace sealrun::verify::testing {
namespace {

SealOwner Owner() {
  return {std::u16string(kOwnSerial),
          *platform::crypto::Certificate::FromDer(sealrun::testing::SharedTestIdentity().certificateDer)};
}

class RemovalCopyCheck : public SealedFiles {
 protected:
  RemovalResult Remove(const std::filesystem::path& path, Form form) {
    return form == Form::SealAnnotation ? RemoveLatestSealAnnotation(engine_, Wide(path), 0, Owner(), outcome_)
                                        : RemoveLatestSignatureField(engine_, Wide(path), 0, Owner(), outcome_);
  }
  // The names in the test's folder: a copy left behind would show here.
  std::vector<std::string> Folder() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(temp_.Path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  // The seals of one form that verify in the file, by object number.
  std::vector<int> ValidSeals(const std::filesystem::path& path, Form form) {
    const DocumentHandle document = OpenDocument(engine_, Wide(path));
    std::vector<int> valid;
    if (!document) return valid;
    const auto examination =
        form == Form::SealAnnotation ? ExamineSealAnnotations(document.get()) : ExamineSignatureFields(document.get());
    for (const auto& seal : examination.seals)
      if (seal.valid) valid.push_back(seal.objectNumber);
    return valid;
  }
};

TEST_F(RemovalCopyCheck, RemovalsFromRealFilesAreCommittedAppendedAndKeepTheOtherSeals) {
  for (const char* name : {"pypdf-crazyones.pdf", "texlive-zhlipsum.pdf", "qpdf-rotated.pdf"}) {
    for (const Form form : {Form::SealAnnotation, Form::SignatureField}) {
      SCOPED_TRACE(std::string(name) + (form == Form::SealAnnotation ? ", seal annotations" : ", signature fields"));
      const auto path = Copy(sealrun::testing::CorpusFile(name), "real.pdf");
      ASSERT_EQ(Seal(path, form, kOtherSerial), 0);
      const std::vector<int> earlier = ValidSeals(path, form);
      ASSERT_EQ(earlier.size(), 1u);
      ASSERT_EQ(Seal(path, form, kOwnSerial), 0);
      const std::string before = Bytes(path);
      const auto folder = Folder();
      const RemovalResult result = Remove(path, form);
      EXPECT_TRUE(result.Removed()) << result.Reason();
      const std::string after = Bytes(path);
      EXPECT_GT(after.size(), before.size());
      EXPECT_EQ(after.compare(0, before.size(), before), 0) << "the earlier revisions were rewritten";
      EXPECT_EQ(ValidSeals(path, form), earlier);
      EXPECT_EQ(Folder(), folder) << "the checked copy is the file now, nothing beside it";
    }
  }
  EXPECT_TRUE(failed_.empty());
}

// A seal listed on two pages: taken off the page it was found on, it still shows on the other, so that copy
// never replaces the file.
TEST_F(RemovalCopyCheck, ACopyStillShowingTheSealLeavesTheFileByteIdentical) {
  const auto sealed = Base("two-pages.pdf", 2);
  ASSERT_EQ(Seal(sealed, Form::SealAnnotation), 0);
  const auto path = Tamper("seal-on-two-pages", sealed);
  const std::string before = Bytes(path);
  const auto folder = Folder();
  const RemovalResult result = Remove(path, Form::SealAnnotation);
  ASSERT_FALSE(result.Removed());
  EXPECT_EQ(result.Failure(), RemovalFailure::CopySealStillThere);
  EXPECT_EQ(result.Code(), QP_ERR_VERIFY);
  EXPECT_EQ(result.RowHighlight(), Highlight::Yes);
  EXPECT_NE(result.Reason().find("left as it was"), std::string::npos);
  EXPECT_EQ(Bytes(path), before);
  EXPECT_EQ(Folder(), folder) << "the refused copy is removed";
  EXPECT_EQ(failed_, std::vector<int>{0});
}

// The check on its own, given copies other writers made of a file sealed by another key, then by the user.
TEST_F(RemovalCopyCheck, OnlyTheFileWithOneUpdateTakingTheSealOutAndKeepingTheOthersPasses) {
  const auto path = Base("twice.pdf");
  ASSERT_EQ(Seal(path, Form::SealAnnotation, kOtherSerial), 0);
  ASSERT_EQ(Seal(path, Form::SealAnnotation, kOwnSerial), 0);
  const DocumentHandle document = OpenDocument(engine_, Wide(path));
  ASSERT_TRUE(document);
  const auto latest = FindLatestSealAnnotation(document.get());
  ASSERT_TRUE(latest);
  const RemovalBefore before =
      DescribeBeforeRemoval(engine_, document.get(), Wide(path), config::SealForm::SealAnnotation,
                            RemovedSeal{latest->objectNumber, latest->pageIndex, latest->objectNumber});
  EXPECT_GE(before.revisions, 3);
  ASSERT_EQ(before.validSeals.size(), 1u);
  EXPECT_NE(before.validSeals[0], latest->objectNumber);

  const auto garbage = temp_ / "garbage.pdf";
  std::ofstream(garbage) << "%PDF-1.7\nnot a document\n";
  const auto rewritten = temp_ / "rewritten.pdf";
  ASSERT_EQ(RunTool("/usr/bin/python3 " + Quote(sealrun::testing::SourceFile("tests/verify/tamper.py")) + " rewrite " +
                    Quote(path) + " " + Quote(rewritten)).exitCode, 0);
  const struct {
    std::filesystem::path copy;
    CopyFault expected;
  } cases[] = {
      {garbage, CopyFault::Unreadable},
      {path, CopyFault::NotOneUpdate},                  // nothing appended
      {rewritten, CopyFault::NotOneUpdate},             // the earlier bytes written anew
      {Tamper("seal-dropped", Tamper("info", path)), CopyFault::NotOneUpdate},  // two updates
      {Tamper("content-update", path), CopyFault::SealStillThere},
      {Tamper("seal-dropped-and-forged", path), CopyFault::EarlierSealLost},
      {Tamper("seal-dropped", path), CopyFault::None},  // a removal as another writer makes it
  };
  for (const auto& [copy, expected] : cases) {
    SCOPED_TRACE(copy.filename().string());
    EXPECT_EQ(CheckRemovalCopy(engine_, Wide(copy), before), expected);
  }
}

}  // namespace
}  // namespace sealrun::verify::testing
