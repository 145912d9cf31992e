// The batch verify and remove dialogs over real files, with a scripted user: statuses, progress, remark
// column, failed rows and highlights, the summary texts, and the PIN and key serial refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>

#include "platform/fs/Files.h"
#include "platform/ui/Backend.h"
#include "platform/ui/HeadlessBackend.h"
#include "platform/ui/QuitRequest.h"
#include "tests/verify/SealedFiles.h"
#include "verify/BatchTexts.h"
#include "verify/CBatchVerify.h"
#include "verify/CCBatchDel.h"
#include "verify/RemovalResult.h"
#include "verify/VerificationWorkers.h"

namespace sealrun::verify::testing {
namespace {

namespace ui = platform::ui;

class BatchDialogs : public SealedFiles {
 protected:
  BatchDialogs() {
    auto backend = std::make_unique<ui::HeadlessBackend>();
    user_ = backend.get();
    scoped_ = std::make_unique<ui::ScopedBackend>(std::move(backend));
  }

  void Fill(const std::vector<std::filesystem::path>& files) {
    list_.DeleteAllRows();
    files_.clear();
    for (size_t i = 0; i < files.size(); ++i) {
      list_.InsertRow(static_cast<int>(i), Wide(files[i].filename()));
      files_.push_back(Wide(files[i]));
    }
  }

  ui::HeadlessBackend* user_ = nullptr;
  std::unique_ptr<ui::ScopedBackend> scoped_;
  ui::ListView list_{1};
  std::vector<std::u16string> files_;
};

TEST_F(BatchDialogs, VerificationRunWritesResultsCountsFailedFilesAndWaitsForTheUser) {
  const auto notPdf = temp_ / "broken.pdf";
  platform::fs::ReplaceFileAtomically(notPdf, "%PDF-1.7 and nothing else");
  const auto sealed = Base("sealed.pdf");
  ASSERT_EQ(Seal(sealed, Form::SealAnnotation), 0);
  const auto tampered = Tamper("add-annot", sealed);
  Fill({notPdf, tampered, sealed});
  failed_ = {7};  // left over from an earlier run

  std::u16string statusWhenShown;
  bool okEnabledWhenShown = true;
  bool closeEnabledWhenShown = true;
  user_->OnDialog(kVerifyDialogTemplate, [&](ui::Dialog& dialog) {
    statusWhenShown = dialog.ChildAs<ui::Static>(kVerifyStatusControl)->Text();
    okEnabledWhenShown = dialog.ChildAs<ui::Button>(ui::kIdOk)->IsEnabled();
    closeEnabledWhenShown = dialog.IsCloseCommandEnabled();
    dialog.ChildAs<ui::Button>(ui::kIdOk)->Click();
  });
  CBatchVerify dialog(VerifyRunInputs{engine_, files_, config::SealForm::SealAnnotation, &failed_, &list_, 0, {}, {}});
  const sealrun::testing::ScopedEnv debug("SEALRUN_DEBUG", "1");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(dialog.DoModal(nullptr), ui::kIdOk);
  // With traces on, each failed file's line says why; the valid one has none.
  const std::string traces = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(traces.find("ZQ_Ortavex2018_Normal_" + notPdf.string() + ": not verified: the document does not open\n"),
            std::string::npos) << traces;
  EXPECT_NE(traces.find("ZQ_Ortavex2018_Normal_" + tampered.string() + ": not verified: 1 of 1 seals invalid\n"),
            std::string::npos) << traces;
  EXPECT_EQ(traces.find(sealed.string() + ":"), std::string::npos) << traces;

  EXPECT_EQ(list_.ItemText(0, kRemarkColumn), u"文档打开失败");
  EXPECT_EQ(list_.ItemText(1, kRemarkColumn), u"印章总数:1 有效:0 失效:1");
  EXPECT_EQ(list_.ItemText(2, kRemarkColumn), u"印章总数:1 有效:1 失效:0");
  EXPECT_EQ(failed_, (std::vector<int>{0, 1}));
  EXPECT_EQ(list_.ItemState(0, ui::kLvisDropHilited), 0u);
  EXPECT_NE(list_.ItemState(1, ui::kLvisDropHilited), 0u);
  EXPECT_EQ(list_.ItemState(2, ui::kLvisDropHilited), 0u);
  const std::u16string summary = u"签章验证结束\r\n共有文档：3份\r\n无效印章文档：2份\r\n有效印章文档：1份\r\n";
  EXPECT_EQ(dialog.Summary(), summary);
  EXPECT_EQ(statusWhenShown, summary);
  EXPECT_TRUE(okEnabledWhenShown);
  EXPECT_TRUE(closeEnabledWhenShown);
  EXPECT_EQ(user_->ProgressPositions().back(), 3);
  EXPECT_TRUE(user_->MessageBoxes().empty());  // per-file failures are never shown one by one
}

TEST_F(BatchDialogs, AnEmptyListVerifiesNothingAndSaysSo) {
  user_->OnDialog(kVerifyDialogTemplate, [](ui::Dialog& dialog) { dialog.ChildAs<ui::Button>(ui::kIdOk)->Click(); });
  CBatchVerify dialog(VerifyRunInputs{engine_, {}, config::SealForm::SignatureField, &failed_, &list_, 0, {}, {}});
  EXPECT_EQ(dialog.DoModal(nullptr), ui::kIdOk);
  EXPECT_EQ(dialog.Summary(), RunSummary(RunKind::Verify, 0, 0));
  EXPECT_TRUE(failed_.empty());
}

TEST_F(BatchDialogs, VerificationJudgesSignersWithTheSettingsAndTheModuleFolderItIsHanded) {
  // Signed with the test's own self-signed certificate; the module folder has no root installed.
  const auto signedFile = Base("self-signed.pdf");
  ASSERT_EQ(Seal(signedFile, Form::SignatureField), 0);
  Fill({signedFile});
  for (const bool validate : {false, true}) {
    user_->OnDialog(kVerifyDialogTemplate, [](ui::Dialog& dialog) { dialog.ChildAs<ui::Button>(ui::kIdOk)->Click(); });
    VerifyRunInputs inputs{engine_, files_, config::SealForm::SignatureField, &failed_, &list_, 0, {}, {}};
    inputs.settings.validateCertificate = validate;
    inputs.moduleFolder = temp_ / "module";
    CBatchVerify dialog(std::move(inputs));
    EXPECT_EQ(dialog.DoModal(nullptr), ui::kIdOk);
    EXPECT_EQ(list_.ItemText(0, kRemarkColumn), validate ? u"印章总数:1 有效:0 失效:1" : u"印章总数:1 有效:1 失效:0");
    EXPECT_EQ(failed_, validate ? std::vector<int>{0} : std::vector<int>{});
  }
}

TEST_F(BatchDialogs, ARunOnSeveralWorkersReportsEveryRowAsOneFileAfterAnotherWould) {
  // Without traces the run verifies on worker threads; rows still come out in order, each with its own result,
  // in both forms (seal annotations with a signed message, so that signers are checked on the workers too).
  const auto notPdf = temp_ / "broken.pdf";
  platform::fs::ReplaceFileAtomically(notPdf, "%PDF-1.7 and nothing else");
  SignMessagesWith(sealrun::testing::SharedTestIdentity());
  for (const Form form : {Form::SealAnnotation, Form::SignatureField}) {
    const bool fields = form == Form::SignatureField;
    const auto sealed = Base(fields ? "field.pdf" : "annotation.pdf", 3);
    ASSERT_EQ(Seal(sealed, form), 0);
    const auto tampered = Tamper("add-annot", sealed);
    std::vector<std::filesystem::path> files;
    std::vector<std::u16string> expected;
    std::vector<int> expectedFailed;
    for (int i = 0; i < 12; ++i) {
      const int kind = i % 4;
      files.push_back(kind == 0 ? sealed : kind == 1 ? tampered : kind == 2 ? notPdf : temp_ / "missing.pdf");
      expected.push_back(kind == 0   ? u"印章总数:1 有效:1 失效:0"
                         : kind == 1 ? u"印章总数:1 有效:0 失效:1"
                                     : u"文档打开失败");
      if (kind != 0) expectedFailed.push_back(i);
    }
    Fill(files);
    user_->OnDialog(kVerifyDialogTemplate, [](ui::Dialog& dialog) { dialog.ChildAs<ui::Button>(ui::kIdOk)->Click(); });
    const auto sealForm = fields ? config::SealForm::SignatureField : config::SealForm::SealAnnotation;
    CBatchVerify dialog(VerifyRunInputs{engine_, files_, sealForm, &failed_, &list_, 0, {}, {}});
    EXPECT_EQ(dialog.DoModal(nullptr), ui::kIdOk);
    for (int i = 0; i < 12; ++i) {
      EXPECT_EQ(list_.ItemText(i, kRemarkColumn), expected[static_cast<std::size_t>(i)]) << "row " << i;
      EXPECT_EQ(list_.ItemState(i, ui::kLvisDropHilited) != 0, i % 4 == 1) << "row " << i;
    }
    EXPECT_EQ(failed_, expectedFailed);
    const std::vector<int>& progress = user_->ProgressPositions();
    EXPECT_TRUE(std::is_sorted(progress.end() - 12, progress.end()));
    EXPECT_EQ(progress.back(), 12);
    EXPECT_EQ(dialog.Summary(), RunSummary(RunKind::Verify, 12, 9));
  }
}

TEST_F(BatchDialogs, AVerificationRunAskedToStopReportsNoFileAndSaysSo) {
  const auto sealed = Base("sealed.pdf");
  ASSERT_EQ(Seal(sealed, Form::SignatureField), 0);
  Fill({sealed, sealed, sealed});
  user_->OnDialog(kVerifyDialogTemplate, [](ui::Dialog& dialog) { dialog.ChildAs<ui::Button>(ui::kIdOk)->Click(); });
  ui::RequestQuit(2);
  CBatchVerify dialog(VerifyRunInputs{engine_, files_, config::SealForm::SignatureField, &failed_, &list_, 0, {}, {}});
  dialog.DoModal(nullptr);
  ui::ClearQuitRequest();
  EXPECT_EQ(user_->Notices(), std::vector<std::u16string>{StoppedRunText(0, 3)});
  EXPECT_EQ(list_.ItemText(0, kRemarkColumn), u"");
  EXPECT_EQ(dialog.Summary(), RunSummary(RunKind::Verify, 0, 0));
}

TEST_F(BatchDialogs, RemovalChecksThePinFirstAndRemovesTheOwnersLatestSeals) {
  const auto own = Base("own.pdf");
  ASSERT_EQ(Seal(own, Form::SealAnnotation), 0);
  const auto others = Base("others.pdf");
  ASSERT_EQ(Seal(others, Form::SealAnnotation, kOtherSerial), 0);
  const auto plain = Base("plain.pdf");
  Fill({own, others, plain});
  failed_ = {9};

  std::vector<std::u16string> pinsTried;
  std::u16string summaryStore;
  RemoveRunInputs inputs;
  inputs.engine = engine_;
  inputs.files = files_;
  inputs.sealForm = config::SealForm::SealAnnotation;
  inputs.failedItems = &failed_;
  inputs.list = &list_;
  inputs.checkKey = [&](std::u16string_view pin) {
    pinsTried.emplace_back(pin);
    return KeyCheck{pin == u"123456" ? 0 : 3, std::u16string(kOwnSerial), std::nullopt};
  };
  inputs.resultSummary = &summaryStore;

  std::vector<int> failedAfterWrongPin;
  user_->OnDialog(kRemoveDialogTemplate, [&](ui::Dialog& dialog) {
    auto* pin = dialog.ChildAs<ui::Edit>(kRemovePinControl);
    ASSERT_TRUE(pin->IsPassword());
    pin->Type(u"000000");
    dialog.ChildAs<ui::Button>(ui::kIdOk)->Click();
    ASSERT_TRUE(dialog.IsRunning());  // a refused PIN leaves the dialog waiting
    failedAfterWrongPin = failed_;
    pin->Type(u"123456");
    dialog.ChildAs<ui::Button>(ui::kIdOk)->Click();
  });
  const std::string ownBefore = Bytes(own);
  CCBatchDel dialog(std::move(inputs));
  const sealrun::testing::ScopedEnv debug("SEALRUN_DEBUG", "1");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(dialog.DoModal(nullptr), ui::kIdOk);
  // The removal's check of its written copy verifies the file's seals, with the fingerprint's own traces; the
  // file traces are the failed files with why, in order.
  std::string traces;
  std::istringstream lines(::testing::internal::GetCapturedStderr());
  for (std::string line; std::getline(lines, line);)
    if (line.find("Hash文档") == std::string::npos) traces += line + "\n";
  EXPECT_EQ(traces, "ZQ_Ortavex2018_Normal_" + others.string() + ": no seal removed: the latest seal is another key's\n" +
                        "ZQ_Ortavex2018_Normal_" + plain.string() + ": no seal removed: no seal to remove\n");

  EXPECT_EQ(pinsTried, (std::vector<std::u16string>{u"000000", u"123456"}));
  EXPECT_EQ(failedAfterWrongPin, std::vector<int>{9});
  EXPECT_EQ(failed_, (std::vector<int>{1, 2}));  // another key's seal, no seal at all
  // The row whose latest seal is another key's says so; the others carry no remark.
  EXPECT_EQ(list_.ItemText(0, kRemarkColumn), u"");
  EXPECT_EQ(list_.ItemText(1, kRemarkColumn), kNotTheKeysSealText);
  EXPECT_EQ(list_.ItemText(2, kRemarkColumn), u"");
  EXPECT_NE(Bytes(own), ownBefore);
  const std::u16string summary = u"批量撤章结束\r\n共有文档：3份\r\n撤章失败：2份\r\n撤章成功：1份\r\n";
  EXPECT_EQ(summaryStore, summary);
  ASSERT_EQ(user_->MessageBoxes().size(), 2u);
  EXPECT_EQ(user_->MessageBoxes()[0].text, kWrongPinText);
  EXPECT_EQ(user_->MessageBoxes()[0].caption, u"提示");
  EXPECT_EQ(user_->MessageBoxes()[1].text, summary);
  EXPECT_EQ(user_->MessageBoxes()[1].caption, u"统计");
  EXPECT_EQ(user_->MessageBoxes()[1].style, ui::kMbIconInformation);
}

TEST_F(BatchDialogs, RemovalIsRefusedWhenTheKeyHasNoSerialIsLockedOrNoOneCheckedThePin) {
  const auto sealed = Base("sealed.pdf");
  ASSERT_EQ(Seal(sealed, Form::SignatureField), 0);
  Fill({sealed});
  const std::string before = Bytes(sealed);
  for (const KeyCheck& answer : {KeyCheck{0, u"", std::nullopt}, KeyCheck{-1, std::u16string(kOwnSerial), std::nullopt},
                                 KeyCheck{kKeyLockedPinResult, std::u16string(kOwnSerial), std::nullopt}}) {
    RemoveRunInputs inputs;
    inputs.engine = engine_;
    inputs.files = files_;
    inputs.sealForm = config::SealForm::SignatureField;
    inputs.failedItems = &failed_;
    inputs.checkKey = [answer](std::u16string_view) { return answer; };
    user_->OnDialog(kRemoveDialogTemplate, [](ui::Dialog& dialog) {
      dialog.ChildAs<ui::Edit>(kRemovePinControl)->Type(u"123456");
      dialog.ChildAs<ui::Button>(ui::kIdOk)->Click();
    });
    CCBatchDel dialog(std::move(inputs));
    EXPECT_EQ(dialog.DoModal(nullptr), ui::kIdCancel);
  }
  EXPECT_EQ(Bytes(sealed), before);
  ASSERT_EQ(user_->MessageBoxes().size(), 3u);
  EXPECT_EQ(user_->MessageBoxes()[0].text, kNoKeySerialText);
  EXPECT_EQ(user_->MessageBoxes()[1].text, kWrongPinText);
  EXPECT_EQ(user_->MessageBoxes()[2].text, kKeyLockedText) << "a locked key is not reported as a wrong PIN";
}

}  // namespace
}  // namespace sealrun::verify::testing
