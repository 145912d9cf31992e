#include "platform/ui/HeadlessBackend.h"

#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"

namespace sealrun::platform::ui {

int HeadlessBackend::ShowMessageBox(const MessageBoxRequest& request) {
  messageBoxes_.push_back(request);
  if (messageBoxAnswer_) return messageBoxAnswer_(request);
  return (request.style & 0xF) == kMbYesNo ? kIdYes : kIdOk;
}

std::optional<OpenFileAnswer> HeadlessBackend::ShowOpenFileDialog(const OpenFileRequest& request) {
  openRequests_.push_back(request);
  if (openAnswers_.empty()) return std::nullopt;
  auto answer = std::move(openAnswers_.front());
  openAnswers_.pop_front();
  return answer;
}

std::optional<std::u16string> HeadlessBackend::ShowSaveFileDialog(const SaveFileRequest& request) {
  saveRequests_.push_back(request);
  if (saveAnswers_.empty()) return std::nullopt;
  auto answer = std::move(saveAnswers_.front());
  saveAnswers_.pop_front();
  return answer;
}

void HeadlessBackend::RunModal(Dialog& dialog) {
  dialogsRun_.push_back(dialog.TemplateId());
  const auto script = scripts_.find(dialog.TemplateId());
  if (script != scripts_.end()) script->second(dialog);
}

void HeadlessBackend::ProgressChanged(const ProgressBar& bar) { progressPositions_.push_back(bar.Position()); }

}  // namespace sealrun::platform::ui
