#pragma once
// A toolbar of image buttons, each with a command id and a tooltip; pressing one sends WM_COMMAND with
// its id to the toolbar's parent.
#include <string>
#include <vector>

#include "platform/ui/Window.h"

namespace sealrun::platform::ui {

class Toolbar : public Window {
 public:
  struct ButtonState {
    int commandId = 0;
    int imageIndex = 0;
    std::u16string tooltip;
    bool enabled = true;
  };

  explicit Toolbar(int id);
  void AddButton(int commandId, int imageIndex, std::u16string tooltip);
  const std::vector<ButtonState>& Buttons() const { return buttons_; }
  // The tooltip of a command, or "" when there is no such button.
  std::u16string Tooltip(int commandId) const;
  bool SetTooltip(int commandId, std::u16string tooltip);
  bool EnableButton(int commandId, bool enabled);
  // The user presses a button: refused while it (or the toolbar) is disabled.
  bool Press(int commandId);

 private:
  ButtonState* Find(int commandId);
  std::vector<ButtonState> buttons_;
};

}  // namespace sealrun::platform::ui
