#include "verify/CCBatchDel.h"

#include <memory>

#include "platform/ui/Backend.h"
#include "platform/ui/QuitRequest.h"
#include "verify/BatchTexts.h"
#include "verify/DialogPlacement.h"
#include "verify/RowOutcome.h"
#include "verify/RunTrace.h"
#include "verify/SealRemoval.h"

namespace sealrun::verify {

namespace ui = platform::ui;

CCBatchDel::CCBatchDel(RemoveRunInputs inputs) : ui::Dialog(kRemoveDialogTemplate, u"批量撤销"), inputs_(std::move(inputs)) {
  AddChild(std::make_unique<ui::Static>(kRemovePromptControl, u"请输入密码："));
  pin_ = AddChild(std::make_unique<ui::Edit>(kRemovePinControl, ui::Edit::Kind::Password));
  AddChild(std::make_unique<ui::Button>(ui::kIdOk, u"确定"));
  progress_ = AddChild(std::make_unique<ui::ProgressBar>(kRemoveProgressControl));
  status_ = AddChild(std::make_unique<ui::Static>(kRemoveStatusControl));
}

void CCBatchDel::OnInitDialog() { CentreOnOwner(*this, ui::FromHandle(inputs_.owner), 320, 180); }

void CCBatchDel::OnCommand(int id, int code) {
  if (running_) return;  // the one message delivered per file must not start or end anything
  if (id == ui::kIdOk) {
    RunBatchRemove();
    return;
  }
  ui::Dialog::OnCommand(id, code);
}

void CCBatchDel::RunBatchRemove() {
  if (running_) return;
  const std::u16string pin = pin_->Text();
  const KeyCheck key = inputs_.checkKey ? inputs_.checkKey(pin) : KeyCheck{};
  if (key.pinResult != 0) {
    // Nothing is touched; the dialog waits for another try.
    ui::MessageBox(ui::ActiveWindow(), kWrongPinText, u"提示", ui::kMbIconInformation);
    return;
  }
  if (key.serial.empty()) {
    ui::MessageBox(ui::ActiveWindow(), kNoKeySerialText, u"提示", ui::kMbIconInformation);
    return;
  }
  owner_ = {key.serial, key.certificate};
  running_ = true;
  std::vector<int> ownFailures;
  std::vector<int>& failed = inputs_.failedItems != nullptr ? *inputs_.failedItems : ownFailures;
  failed.clear();
  const int total = static_cast<int>(inputs_.files.size());
  const std::u16string header = RunHeader(RunKind::Remove, total);
  progress_->SetRange(1, total);
  progress_->SetPosition(0);
  status_->SetText(header);

  const bool fields = inputs_.sealForm == config::SealForm::SignatureField;
  const RowOutcome outcome{failed, inputs_.list};
  int done = 0;
  for (int i = 0; i < total; ++i) {
    // Asked to stop: the files done so far are the run; the rest were never opened.
    if (ui::QuitRequested()) {
      ui::Notify(StoppedRunText(i, total));
      break;
    }
    const std::u16string& path = inputs_.files[static_cast<std::size_t>(i)];
    const RemovalResult result = fields ? RemoveLatestSignatureField(inputs_.engine, path, i, owner_, outcome)
                                        : RemoveLatestSealAnnotation(inputs_.engine, path, i, owner_, outcome);
    if (!result) TraceFile(path, "no seal removed: " + result.Reason());
    // Why the user's seal stayed, where the reason is whose it is.
    if (const auto remark = result.Remark(); remark && inputs_.list != nullptr)
      inputs_.list->SetItemText(i, kRemarkColumn, *remark);
    progress_->SetPosition(i + 1);
    status_->SetText(RunStatus(header, i + 1));
    ui::PumpOneMessage();
    done = i + 1;
  }
  const std::u16string summary = RunSummary(RunKind::Remove, done, static_cast<int>(failed.size()));
  status_->SetText(summary);
  if (inputs_.resultSummary != nullptr) *inputs_.resultSummary = summary;
  running_ = false;
  EndDialog(ui::kIdOk);
  ui::MessageBox(ui::ActiveWindow(), summary, u"统计", ui::kMbIconInformation);
}

}  // namespace sealrun::verify
