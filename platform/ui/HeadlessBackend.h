#pragma once
// A backend without a screen. Tests (and the terminal front end, which derives from it) script the
// user — the answer to each message box, the files chosen in file dialogs, what to do in each dialog
// template — and read back everything that was shown.
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Backend.h"

namespace sealrun::platform::ui {

class HeadlessBackend : public Backend {
 public:
  using DialogScript = std::function<void(Dialog&)>;
  using MessageBoxAnswer = std::function<int(const MessageBoxRequest&)>;

  // What the user does in dialogs of a template; without a script the user closes the dialog (Cancel).
  void OnDialog(int templateId, DialogScript script) { scripts_[templateId] = std::move(script); }
  // How message boxes are answered; by default with their first button (OK or Yes).
  void AnswerMessageBoxes(MessageBoxAnswer answer) { messageBoxAnswer_ = std::move(answer); }
  // The next open-file or save-file dialog answers this (nullopt: Cancel); unanswered dialogs cancel.
  void QueueOpenFileAnswer(std::optional<OpenFileAnswer> answer) { openAnswers_.push_back(std::move(answer)); }
  void QueueSaveFileAnswer(std::optional<std::u16string> answer) { saveAnswers_.push_back(std::move(answer)); }

  const std::vector<MessageBoxRequest>& MessageBoxes() const { return messageBoxes_; }
  const std::vector<OpenFileRequest>& OpenFileRequests() const { return openRequests_; }
  const std::vector<SaveFileRequest>& SaveFileRequests() const { return saveRequests_; }
  const std::vector<int>& DialogsRun() const { return dialogsRun_; }
  // Every position a progress bar was set to, in order.
  const std::vector<int>& ProgressPositions() const { return progressPositions_; }
  const std::vector<std::u16string>& Notices() const { return notices_; }

  int ShowMessageBox(const MessageBoxRequest& request) override;
  std::optional<OpenFileAnswer> ShowOpenFileDialog(const OpenFileRequest& request) override;
  std::optional<std::u16string> ShowSaveFileDialog(const SaveFileRequest& request) override;
  void RunModal(Dialog& dialog) override;
  void ProgressChanged(const ProgressBar& bar) override;
  void ShowNotice(const std::u16string& text) override { notices_.push_back(text); }

 private:
  std::map<int, DialogScript> scripts_;
  MessageBoxAnswer messageBoxAnswer_;
  std::deque<std::optional<OpenFileAnswer>> openAnswers_;
  std::deque<std::optional<std::u16string>> saveAnswers_;
  std::vector<MessageBoxRequest> messageBoxes_;
  std::vector<OpenFileRequest> openRequests_;
  std::vector<SaveFileRequest> saveRequests_;
  std::vector<int> dialogsRun_;
  std::vector<int> progressPositions_;
  std::vector<std::u16string> notices_;
};

}  // namespace sealrun::platform::ui
