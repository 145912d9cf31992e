#pragma once
// The backend of the desktop reader: message boxes, file dialogs and the add-in's dialogs become real Qt 6
// widgets. A QApplication must exist while it is installed. Programs install it without seeing Qt: nothing
// here names a Qt type.
#include <functional>
#include <memory>
#include <string>

#include "platform/ui/Backend.h"

namespace sealrun::platform::ui {

struct QtBackendOptions {
  // Where notices go (the reader's status line); without one they show in a small window of their own.
  std::function<void(const std::u16string&)> noticeSink;
  // The desktop's own file dialogs where it has them; Qt's widget dialogs otherwise (tests use these).
  bool nativeFileDialogs = true;
};

class QtBackend : public Backend {
 public:
  explicit QtBackend(QtBackendOptions options = {});
  ~QtBackend() override;
  QtBackend(const QtBackend&) = delete;
  QtBackend& operator=(const QtBackend&) = delete;

  int ShowMessageBox(const MessageBoxRequest& request) override;
  std::optional<OpenFileAnswer> ShowOpenFileDialog(const OpenFileRequest& request) override;
  std::optional<std::u16string> ShowSaveFileDialog(const SaveFileRequest& request) override;
  // Shows the dialog (made on first use, or already shown by a progress run) and runs it until it ends.
  void RunModal(Dialog& dialog) override;
  // A run inside the model's code: the dialog owning the bar is shown, refreshed and repainted.
  void ProgressChanged(const ProgressBar& bar) override;
  void ShowNotice(const std::u16string& text) override;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sealrun::platform::ui
