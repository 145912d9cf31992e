// Records from hostile files: a record stream that decodes to far more than a record can be is refused without
// being decoded in full.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "external/QpHandles.h"
#include "tests/testsupport/TempDir.h"
#include "verify/DocumentVerification.h"

namespace sealrun::verify {
namespace {

TEST(HostileRecords, AFlateBombRecordIsUnreadableAndTheSealInvalid) {
  const external::EngineHandle engine = external::StartEngine();
  ASSERT_TRUE(engine);
  const external::DocumentHandle document =
      external::OpenDocument(engine.get(), sealrun::testing::SourceFile("tests/data/hostile/record-flate-bomb.pdf").u16string());
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
      external::OpenDocument(engine.get(), sealrun::testing::SourceFile("tests/data/hostile/record-flate-bomb.pdf").u16string());
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

}  // namespace
}  // namespace sealrun::verify
