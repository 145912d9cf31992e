// The bounds of one file's work in the engine: past the memory ceiling or the time budget a call fails with
// QP_ERR_LIMIT, and the same engine serves the next file once the bound is lifted.
#include <chrono>
#include <thread>

#include "tests/platform/pdfengine/EngineFixture.h"

namespace sealrun::platform::pdfengine::testing {
namespace {

int OpenCode(qp_engine engine, const std::filesystem::path& path) {
  DocumentHandle document;
  return external::OpenDocument(engine, path.u16string(), document);
}

// The record of the seal annotation in record-flate-bomb.pdf decodes to 100 MiB of zeros.
int DecodeBombCode(qp_engine engine, std::size_t* decoded) {
  DocumentHandle document;
  const auto path = sealrun::testing::SourceFile("tests/data/hostile/record-flate-bomb.pdf");
  if (const int opened = external::OpenDocument(engine, path.u16string(), document); opened != QP_OK) return opened;
  const PageHandle page = external::LoadPage(document.get(), 0);
  qp_annot seal = page ? qp_page_load_annots(page.get()) : nullptr;
  if (seal == nullptr) return -1;
  const CosHandle dict(qp_annot_get_cosobject(seal));
  const CosHandle info(qp_cos_dict_gets(dict.get(), "Info"));
  const CosHandle record(qp_cos_dict_gets(info.get(), "BaseInfo"));
  *decoded = 0;
  return qp_cos_stream_to_buffer(record.get(), nullptr, decoded);
}

TEST_F(EngineTest, WorkNeedingMoreMemoryThanTheCeilingFailsWithTheLimit) {
  std::size_t decoded = 0;
  ASSERT_EQ(qp_engine_set_memory_ceiling(engine_, 64u << 20), QP_OK);
  EXPECT_EQ(DecodeBombCode(engine_, &decoded), QP_ERR_LIMIT);
  // An ordinary file still opens under the same ceiling, and the whole stream decodes under the default.
  EXPECT_EQ(OpenCode(engine_, CopyCorpus("pdfjs-tracemonkey.pdf")), QP_OK);
  ASSERT_EQ(qp_engine_set_memory_ceiling(engine_, 0), QP_OK);
  EXPECT_EQ(DecodeBombCode(engine_, &decoded), QP_OK);
  EXPECT_EQ(decoded, std::size_t{100} << 20);
}

// 431 bytes whose cross-reference stream claims 8000001 objects: the engine's table for them would take some
// 330 MB. Under a lower ceiling the table is refused and the file is read by a repair, which needs little.
TEST_F(EngineTest, AFileClaimingMillionsOfObjectsStaysUnderTheCeiling) {
  const auto claims = sealrun::testing::SourceFile("tests/data/hostile/xref-8000000.pdf");
  ASSERT_EQ(qp_engine_set_memory_ceiling(engine_, 64u << 20), QP_OK);
  const DocumentHandle document = Open(claims);
  ASSERT_TRUE(document);
  EXPECT_EQ(qp_page_count(document.get()), 1);
  EXPECT_EQ(qp_document_was_repaired(document.get()), 1);
}

TEST_F(EngineTest, WorkPastTheTimeBudgetFailsWithTheLimitUntilTheBudgetIsSetAgain) {
  const auto file = CopyCorpus("pdfjs-tracemonkey.pdf");
  ASSERT_EQ(qp_engine_set_time_budget(engine_, 1), QP_OK);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(OpenCode(engine_, file), QP_ERR_LIMIT);
  {
    const external::FileTimeBudget budget(engine_);
    const DocumentHandle document = Open(file);
    ASSERT_TRUE(document);
    EXPECT_EQ(qp_page_count(document.get()), 14);
  }
  // Outside a file's budget there is none.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(OpenCode(engine_, file), QP_OK);
}

}  // namespace
}  // namespace sealrun::platform::pdfengine::testing
