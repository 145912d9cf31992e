// A document with a stream whose stored data cannot be read has no fingerprint: a fingerprint over the rest
// would pass for the whole document. The file: an AES-encrypted base file whose page content ends with an
// empty stream, which is then made undecryptable in place. An empty part adds nothing to the fingerprint, so
// leaving it out unread would give exactly the fingerprint of the intact file.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "tests/verify/SealedFiles.h"
#include "verify/DocumentFingerprint.h"
#include "verify/DocumentVerification.h"

namespace sealrun::verify::testing {
namespace {

class UnreadableStream : public SealedFiles {
 protected:
  // The engine's result for reading the stored bytes of page 1's last content stream.
  int ReadLastContentPart(const std::filesystem::path& path) {
    const DocumentHandle document = OpenDocument(engine_, Wide(path));
    const PageHandle page = document ? LoadPage(document.get(), 0) : nullptr;
    if (!page) return -100;
    const external::CosHandle pageDict(qp_page_object(page.get()));
    const external::CosHandle contents(qp_cos_dict_gets(pageDict.get(), "Contents"));
    const external::CosHandle part(qp_cos_array_get(contents.get(), qp_cos_array_len(contents.get()) - 1));
    std::size_t length = 0;
    return qp_cos_stream_raw_to_buffer(part.get(), nullptr, &length);
  }

  std::optional<std::u16string> FingerprintOf(const std::filesystem::path& path) {
    const DocumentHandle document = OpenDocument(engine_, Wide(path));
    EXPECT_TRUE(document) << path;
    if (!document) return u"";
    return DocumentFingerprint(document.get()).ComputeDocumentFingerprint();
  }
};

TEST_F(UnreadableStream, TheEngineReportsTheFailedReadAndTheDocumentHasNoFingerprint) {
  const auto intact = Tamper("encrypt-with-empty-part", Base("base.pdf"));
  const auto spoiled = Tamper("spoil-empty-part", intact);
  EXPECT_EQ(ReadLastContentPart(intact), QP_OK);
  EXPECT_EQ(ReadLastContentPart(spoiled), QP_ERR_ENGINE);

  const auto fingerprint = FingerprintOf(intact);
  ASSERT_TRUE(fingerprint.has_value());
  EXPECT_EQ(fingerprint->size(), 28u);
  EXPECT_EQ(FingerprintOf(spoiled), std::nullopt);
}

TEST_F(UnreadableStream, SealingTheDocumentFailsAndLeavesTheFileByteIdentical) {
  const auto spoiled = Tamper("spoil-empty-part", Tamper("encrypt-with-empty-part", Base("base.pdf")));
  const std::string before = Bytes(spoiled);
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(Seal(spoiled, Form::SealAnnotation), QP_ERR_ENGINE);
  EXPECT_EQ(Bytes(spoiled), before);
}

TEST_F(UnreadableStream, SealsOfTheDocumentAreCountedInvalidNeverValid) {
  const auto sealed = Tamper("encrypt-with-empty-part", Base("base.pdf"));
  ASSERT_EQ(Seal(sealed, Form::SealAnnotation), 0);
  const VerificationResult intact = VerifySealAnnotations(engine_, Wide(sealed), 0, outcome_);
  EXPECT_EQ(intact.Code(), 0);
  EXPECT_EQ(intact.Text(), u"印章总数:1 有效:1 失效:0");

  // The part was written before the seal; spoiling it changes no byte the seal's update holds.
  const auto spoiled = Tamper("spoil-empty-part", sealed);
  const VerificationResult result = VerifySealAnnotations(engine_, Wide(spoiled), 1, outcome_);
  EXPECT_EQ(result.Code(), 1);
  EXPECT_EQ(result.Text(), u"印章总数:1 有效:0 失效:1");
  EXPECT_EQ(failed_, std::vector<int>{1});

  const DocumentHandle document = OpenDocument(engine_, Wide(spoiled));
  ASSERT_TRUE(document);
  const DocumentExamination examination = ExamineSealAnnotations(document.get());
  ASSERT_EQ(examination.seals.size(), 1u);
  EXPECT_EQ(examination.seals[0].recordState, RecordState::Readable);
  EXPECT_FALSE(examination.seals[0].valid);
}

}  // namespace
}  // namespace sealrun::verify::testing
