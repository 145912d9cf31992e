#include "verify/CBatchVerify.h"

#include <chrono>
#include <memory>
#include <optional>

#include "platform/ui/Backend.h"
#include "platform/ui/QuitRequest.h"
#include "verify/BatchTexts.h"
#include "verify/DialogPlacement.h"
#include "verify/DocumentVerification.h"
#include "verify/RunTrace.h"
#include "verify/VerificationWorkers.h"

namespace sealrun::verify {

namespace ui = platform::ui;

// How long the run waits for the next file's result before it answers the window's messages again.
constexpr std::chrono::milliseconds kPumpInterval{25};

CBatchVerify::CBatchVerify(VerifyRunInputs inputs)
    : ui::Dialog(kVerifyDialogTemplate, u"签章验证"), inputs_(std::move(inputs)) {
  ok_ = AddChild(std::make_unique<ui::Button>(ui::kIdOk, u"确定"));
  AddChild(std::make_unique<ui::Static>(kVerifyIconControl));
  progress_ = AddChild(std::make_unique<ui::ProgressBar>(kVerifyProgressControl));
  status_ = AddChild(std::make_unique<ui::Static>(kVerifyStatusControl));
}

void CBatchVerify::OnInitDialog() { RunBatchVerify(); }

void CBatchVerify::OnCommand(int id, int code) {
  // A message delivered between two files must not end the dialog under the running loop.
  if (running_) return;
  ui::Dialog::OnCommand(id, code);
}

void CBatchVerify::RunBatchVerify() {
  if (running_) return;
  running_ = true;
  std::vector<int> ownFailures;
  std::vector<int>& failed = inputs_.failedItems != nullptr ? *inputs_.failedItems : ownFailures;
  failed.clear();
  const int total = static_cast<int>(inputs_.files.size());
  const std::u16string header = RunHeader(RunKind::Verify, total);
  progress_->SetRange(1, total);
  progress_->SetPosition(0);
  status_->SetText(header);
  EnableCloseCommand(false);
  ok_->Enable(false);
  Show(true);
  CentreOnOwner(*this, ui::FromHandle(inputs_.owner), 320, 160);

  // The mode, the root and the revocation list are read once: a run never mixes them.
  const bool fields = inputs_.sealForm == config::SealForm::SignatureField;
  const SignerTrust trust = SignerTrust::Load({inputs_.settings.validateCertificate, inputs_.moduleFolder});
  const RowOutcome outcome{failed, inputs_.list};
  const FileExaminer examine = [fields, &trust](qp_engine engine, std::u16string_view path) {
    return fields ? VerifySignatureFieldsOf(engine, path, trust) : VerifySealAnnotationsOf(engine, path, trust);
  };
  VerificationWorkers workers(inputs_.engine, inputs_.files, examine, VerificationWorkerCount(inputs_.files.size()));
  int done = 0;
  for (int i = 0; i < total; ++i) {
    // Asked to stop: the files reported so far are the run; the rest are not reported.
    std::optional<VerificationResult> result;
    while (!ui::QuitRequested() && !(result = workers.Take(static_cast<std::size_t>(i), kPumpInterval)))
      ui::PumpOneMessage();
    if (!result) {
      ui::Notify(StoppedRunText(i, total));
      break;
    }
    const std::u16string& path = inputs_.files[static_cast<std::size_t>(i)];
    if (result->Failed()) {
      outcome.Fail(i, result->RowHighlight());
      TraceFile(path, "not verified: " + result->Reason());
    }
    if (inputs_.list != nullptr) inputs_.list->SetItemText(i, kRemarkColumn, result->Text());
    progress_->SetPosition(i + 1);
    status_->SetText(RunStatus(header, i + 1));
    ui::PumpOneMessage();
    done = i + 1;
  }
  summary_ = RunSummary(RunKind::Verify, done, static_cast<int>(failed.size()));
  status_->SetText(summary_);
  EnableCloseCommand(true);
  ok_->Enable(true);
  running_ = false;
}

}  // namespace sealrun::verify
