#include "platform/ui/Toolbar.h"

namespace sealrun::platform::ui {

Toolbar::Toolbar(int id) : Window(u"ToolbarWindow32", id) {}

void Toolbar::AddButton(int commandId, int imageIndex, std::u16string tooltip) {
  buttons_.push_back({commandId, imageIndex, std::move(tooltip), true});
}

Toolbar::ButtonState* Toolbar::Find(int commandId) {
  for (auto& button : buttons_)
    if (button.commandId == commandId) return &button;
  return nullptr;
}

std::u16string Toolbar::Tooltip(int commandId) const {
  for (const auto& button : buttons_)
    if (button.commandId == commandId) return button.tooltip;
  return {};
}

bool Toolbar::SetTooltip(int commandId, std::u16string tooltip) {
  ButtonState* button = Find(commandId);
  if (!button) return false;
  button->tooltip = std::move(tooltip);
  return true;
}

bool Toolbar::EnableButton(int commandId, bool enabled) {
  ButtonState* button = Find(commandId);
  if (!button) return false;
  button->enabled = enabled;
  return true;
}

bool Toolbar::Press(int commandId) {
  const ButtonState* button = Find(commandId);
  if (!button || !button->enabled || !IsEnabled() || !IsVisible() || !Parent()) return false;
  SendMessage(Parent()->Handle(), kWmCommand, MakeCommandParam(commandId, kBnClicked), Handle());
  return true;
}

}  // namespace sealrun::platform::ui
