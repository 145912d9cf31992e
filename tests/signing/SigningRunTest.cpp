// A signing run over a file list apart from its dialog: every failure is counted, its per-document number
// reaches the progress callback unchanged, and with traces on the user reads which file failed and why.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "external/qp.h"
#include "signing/SigningRun.h"
#include "tests/testsupport/TempDir.h"

namespace sealrun::signing {
namespace {

TEST(StampResultNumbers, EachReasonKeepsTheNumberCallersKnow) {
  const struct {
    StampResult result;
    int code;
  } cases[] = {
      {StampResult(), 0},
      {StampFailure::NotOpened, kStampOpenFailed},
      {StampResult::Denied(Permission::FillForms), kStampOpenFailed},
      {StampResult::NotPlaced(PlacementFailure::KeywordNotFound), kStampOpenFailed},
      {StampFailure::NoPages, kStampOpenFailed},
      {StampFailure::PageUnreadable, kStampOpenFailed},
      {StampFailure::NoImage, kStampNoImage},
      {StampFailure::NoRecord, kStampNoRecord},
      {StampFailure::NoFingerprint, QP_ERR_ENGINE},
      {{StampFailure::NotSaved, QP_ERR_SAVE}, QP_ERR_SAVE},
      {{StampFailure::NotSigned, QP_ERR_SIGN}, QP_ERR_SIGN},
      {{StampFailure::NotMerged, QP_ERR_NO_ROOM}, QP_ERR_NO_ROOM},
      // An engine call that failed while saying QP_OK still fails the file.
      {{StampFailure::EngineFailed, QP_OK}, QP_ERR_ENGINE},
      {StampFailure::NoSigningRequest, kOnlineNoContext},
      {StampFailure::NoServerSignature, kOnlineEmptySignature},
      {StampFailure::ServerRefused, kOnlineRefused},
      {StampFailure::NoServerAnswer, kOnlineRefused},
      {StampFailure::UnusableServerAnswer, kOnlineRefused},
      {StampFailure::OnlineSigningFailed, kOnlineRefused},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result.Reason());
    EXPECT_EQ(c.result.Code(), c.code);
    EXPECT_EQ(c.result.Ok(), c.code == 0);
  }
  EXPECT_EQ(StampResult(StampFailure::NoImage).EngineCode(), 0) << "only engine failures carry an engine code";
}

TEST(StampResultReasons, SayWhichPermissionOrPlacementFailed) {
  EXPECT_EQ(StampResult::Denied(Permission::Modify).Reason(), "permission to modify denied");
  EXPECT_EQ(StampResult::NotPlaced(PlacementFailure::TemplatePageBeyondLast).Reason(),
            "no place for the seal: the pre-stamp's page is beyond the last page");
  EXPECT_EQ(StampResult(StampFailure::NotSaved, QP_ERR_SAVE).Reason(),
            "the engine could not save the document (engine result 4)");
}

TEST(SigningRun, FailuresAreCountedInFileOrderAndTracedWithTheirReason) {
  const std::vector<std::u16string> files = {u"/in/a.pdf", u"/in/合同.pdf", u"/in/c.pdf", u"/in/d.pdf"};
  const std::vector<StampResult> results = {StampResult(), StampResult::Denied(Permission::FillForms),
                                            StampResult(), {StampFailure::ServerRefused}};
  std::vector<std::u16string> stamped;
  const StampFile stamp = [&](std::u16string_view path) {
    stamped.emplace_back(path);
    return results[stamped.size() - 1];
  };
  std::vector<std::pair<int, int>> progress;
  const sealrun::testing::ScopedEnv debug("SEALRUN_DEBUG", "1");
  ::testing::internal::CaptureStderr();
  const SigningRunTally tally =
      RunSigningBatch(files, stamp, [&](int index, int result) { progress.emplace_back(index, result); });
  const std::string traces = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(stamped, files);
  EXPECT_EQ(tally.total, 4);
  EXPECT_EQ(tally.failed, (std::vector<int>{1, 3}));
  EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{0, 0}, {1, kStampOpenFailed}, {2, 0}, {3, kOnlineRefused}}));
  EXPECT_EQ(traces,
            "ZQ_Ortavex2018_Normal_/in/合同.pdf not sealed: permission to fill forms denied\n"
            "ZQ_Ortavex2018_Normal_/in/d.pdf not sealed: the signing server refused\n");
}

}  // namespace
}  // namespace sealrun::signing
