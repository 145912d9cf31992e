// Small hostile files that once stalled or swamped a run (made by tests/data/hostile/make_hostile.py): each is
// read with bounded work and memory and gives a plain result. A record stream that decodes to far more than a
// record can be is refused without being decoded in full; a page tree that claims two billion pages has the
// pages it holds; pages sharing one long identifier are counted apart with the rule's result.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "external/QpHandles.h"
#include "support/Sha1.h"
#include "tests/testsupport/TempDir.h"
#include "verify/DocumentFingerprint.h"
#include "verify/DocumentVerification.h"

namespace sealrun::verify {
namespace {

external::DocumentHandle OpenHostile(qp_engine engine, const std::string& name) {
  return external::OpenDocument(engine, sealrun::testing::SourceFile("tests/data/hostile/" + name).u16string());
}

TEST(HostileRecords, AFlateBombRecordIsUnreadableAndTheSealInvalid) {
  const external::EngineHandle engine = external::StartEngine();
  ASSERT_TRUE(engine);
  const external::DocumentHandle document =
      OpenHostile(engine.get(), "record-flate-bomb.pdf");
  ASSERT_TRUE(document);
  const DocumentExamination examination = ExamineSealAnnotations(document.get());
  ASSERT_EQ(examination.seals.size(), 1u);
  EXPECT_EQ(examination.seals[0].recordState, RecordState::Unreadable);
  EXPECT_FALSE(examination.seals[0].valid);
}

// The engine's bounded read: the first bytes up to the bound, and whether more follow.
TEST(HostileRecords, ABoundedReadStopsAtItsBound) {
  const external::EngineHandle engine = external::StartEngine();
  const external::DocumentHandle document =
      OpenHostile(engine.get(), "record-flate-bomb.pdf");
  ASSERT_TRUE(document);
  const external::PageHandle page = external::LoadPage(document.get(), 0);
  ASSERT_TRUE(page);
  qp_annot seal = qp_page_load_annots(page.get());
  ASSERT_NE(seal, nullptr);
  const external::CosHandle dict(qp_annot_get_cosobject(seal));
  const external::CosHandle info(qp_cos_dict_gets(dict.get(), "Info"));
  const external::CosHandle record(qp_cos_dict_gets(info.get(), "BaseInfo"));
  ASSERT_TRUE(record);
  std::vector<char> buffer(1000, 'x');
  std::size_t length = 0;
  EXPECT_EQ(qp_cos_stream_to_buffer_bounded(record.get(), buffer.data(), buffer.size(), &length), QP_ERR_BUFFER);
  EXPECT_EQ(length, buffer.size());
  EXPECT_EQ(std::count(buffer.begin(), buffer.end(), '\0'), 1000);
  EXPECT_EQ(qp_cos_stream_to_buffer_bounded(record.get(), nullptr, 0, &length), QP_ERR_BUFFER);
  EXPECT_EQ(length, 0u);
}

TEST(HostileFiles, APageTreeClaimingTwoBillionPagesHasThePagesItHolds) {
  const external::EngineHandle engine = external::StartEngine();
  const external::DocumentHandle document = OpenHostile(engine.get(), "count-2147483647.pdf");
  ASSERT_TRUE(document);
  EXPECT_EQ(qp_page_count(document.get()), 1);
  EXPECT_TRUE(external::LoadPage(document.get(), 0));
  EXPECT_FALSE(external::LoadPage(document.get(), 1));
  EXPECT_TRUE(ExamineSealAnnotations(document.get()).seals.empty());
  DocumentFingerprint fingerprint(document.get());
  EXPECT_TRUE(fingerprint.ComputeDocumentFingerprint().has_value());
}

TEST(HostileFiles, PagesSharingALongIdentifierAreCountedApart) {
  const external::EngineHandle engine = external::StartEngine();
  const external::DocumentHandle document = OpenHostile(engine.get(), "shared-id-2000.pdf");
  ASSERT_TRUE(document);
  ASSERT_EQ(qp_page_count(document.get()), 2000);
  DocumentFingerprint fingerprint(document.get());
  const auto computed = fingerprint.ComputeDocumentFingerprint();
  ASSERT_TRUE(computed.has_value());
  // Every page is alike: the identifier X of 100 KB and one page digest D. The lines are X, X1 ... X1999.
  const std::string identifier(100 * 1024, 'I');
  const std::u16string& kept = fingerprint.PageLines();
  const std::size_t dollar = identifier.size();
  ASSERT_GT(kept.size(), dollar + 30);
  ASSERT_EQ(kept[dollar], u'$');
  const std::string digest(kept.begin() + static_cast<std::ptrdiff_t>(dollar) + 1,
                           kept.begin() + static_cast<std::ptrdiff_t>(dollar) + 29);
  support::Sha1 expected;
  for (int page = 0; page < 2000; ++page) {
    expected.Update(identifier);
    expected.Update((page == 0 ? std::string() : std::to_string(page)) + "$" + digest + "\r\n");
  }
  std::uint8_t text[29] = {};
  expected.Final(text, support::Sha1Output::Text);
  EXPECT_EQ(*computed, std::u16string(text, text + 28));
}

}  // namespace
}  // namespace sealrun::verify
