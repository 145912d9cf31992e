#include "platform/ui/Dialog.h"

#include "platform/ui/Backend.h"

namespace sealrun::platform::ui {

Dialog::Dialog(int templateId, std::u16string caption) : Window(u"#32770", templateId), templateId_(templateId) {
  SetText(std::move(caption));
}

int Dialog::DoModal(Window* owner) {
  if (running_) return -1;  // a dialog runs once at a time
  running_ = true;
  result_.reset();
  const WindowHandle previousActive = ActiveWindow() ? ActiveWindow()->Handle() : 0;
  const WindowHandle ownerHandle = owner ? owner->Handle() : 0;
  const bool ownerWasEnabled = owner && owner->IsEnabled();
  if (owner) owner->Enable(false);
  SetActiveWindow(this);

  SendMessage(Handle(), kWmInitDialog, 0, 0);
  if (IsRunning()) CurrentBackend().RunModal(*this);
  if (!result_) result_ = kIdCancel;

  // The owner may have gone while the dialog ran; reach it by handle.
  if (Window* stillThere = FromHandle(ownerHandle); stillThere && ownerWasEnabled) stillThere->Enable(true);
  SetActiveWindow(FromHandle(previousActive));
  running_ = false;
  return *result_;
}

void Dialog::EndDialog(int result) {
  if (!result_) result_ = result;
}

bool Dialog::Close() {
  if (!IsRunning() || !closeEnabled_) return false;
  SendMessage(Handle(), kWmClose, 0, 0);
  return true;
}

LResult Dialog::HandleMessage(uint32_t message, WParam wParam, LParam) {
  switch (message) {
    case kWmInitDialog:
      OnInitDialog();
      return 1;
    case kWmCommand:
      if (IsRunning()) OnCommand(CommandId(wParam), CommandCode(wParam));
      return 0;
    case kWmClose:
      if (IsRunning()) OnCommand(kIdCancel, kBnClicked);
      return 0;
    default:
      return 0;
  }
}

void Dialog::OnCommand(int id, int) {
  if (id == kIdOk || id == kIdCancel) EndDialog(id);
}

}  // namespace sealrun::platform::ui
