#pragma once
// A modal dialog: its controls are its children; DoModal disables the owner, makes the dialog the
// active window, initialises it and lets the user (the backend) act until EndDialog is called.
#include <optional>
#include <string>

#include "platform/ui/Window.h"

namespace sealrun::platform::ui {

class Dialog : public Window {
 public:
  Dialog(int templateId, std::u16string caption);

  int TemplateId() const { return templateId_; }
  // Returns the value given to EndDialog; kIdCancel when the user closed the dialog without an answer.
  int DoModal(Window* owner);
  void EndDialog(int result);
  bool IsRunning() const { return running_ && !result_; }
  std::optional<int> Result() const { return result_; }

  // The close item of the system menu (and the title bar's close button).
  void EnableCloseCommand(bool enabled) { closeEnabled_ = enabled; }
  bool IsCloseCommandEnabled() const { return closeEnabled_; }
  // The user closes the dialog from its system menu: refused while the close item is greyed.
  bool Close();

  LResult HandleMessage(uint32_t message, WParam wParam, LParam lParam) override;

 protected:
  // WM_INITDIALOG. The dialog may end itself here.
  virtual void OnInitDialog() {}
  // WM_COMMAND from a control; the default ends the dialog on OK (1) and Cancel (2).
  virtual void OnCommand(int id, int code);

 private:
  int templateId_;
  bool running_ = false;
  bool closeEnabled_ = true;
  std::optional<int> result_;
};

}  // namespace sealrun::platform::ui
