#include "platform/ui/Controls.h"

#include <algorithm>

#include "platform/ui/Backend.h"

namespace sealrun::platform::ui {

Static::Static(int id, std::u16string text) : Window(u"Static", id) { SetText(std::move(text)); }

Edit::Edit(int id, Kind kind) : Window(u"Edit", id), kind_(kind) {}

bool Edit::Type(std::u16string text) {
  if (!IsEnabled() || !IsVisible()) return false;
  SetText(std::move(text));
  NotifyParentCommand(kEnChange);
  return true;
}

Button::Button(int id, std::u16string caption) : Window(u"Button", id) { SetText(std::move(caption)); }

bool Button::Click() {
  if (!IsEnabled() || !IsVisible()) return false;
  NotifyParentCommand(kBnClicked);
  return true;
}

CheckBox::CheckBox(int id, std::u16string caption) : Button(id, std::move(caption)) {}

bool CheckBox::Click() {
  if (!IsEnabled() || !IsVisible()) return false;
  checked_ = !checked_;
  return Button::Click();
}

RadioButton::RadioButton(int id, std::u16string caption, int group) : Button(id, std::move(caption)), group_(group) {}

void RadioButton::Select() {
  if (Parent()) {
    for (const auto& sibling : Parent()->Children())
      if (auto* radio = dynamic_cast<RadioButton*>(sibling.get()); radio && radio->group_ == group_)
        radio->checked_ = false;
  }
  checked_ = true;
}

bool RadioButton::Click() {
  if (!IsEnabled() || !IsVisible()) return false;
  Select();
  return Button::Click();
}

ComboBox::ComboBox(int id, Kind kind) : Window(u"ComboBox", id), kind_(kind) {}

int ComboBox::AddString(std::u16string item) {
  items_.push_back(std::move(item));
  return static_cast<int>(items_.size()) - 1;
}

void ComboBox::ResetContent() {
  items_.clear();
  selection_ = -1;
  SetText({});
}

bool ComboBox::SetCurrentSelection(int index) {
  if (index < -1 || index >= Count()) return false;
  selection_ = index;
  SetText(index >= 0 ? items_[static_cast<size_t>(index)] : std::u16string());
  return true;
}

int ComboBox::FindStringExact(std::u16string_view text) const {
  const auto found = std::find(items_.begin(), items_.end(), text);
  return found == items_.end() ? -1 : static_cast<int>(found - items_.begin());
}

bool ComboBox::Choose(int index) {
  if (!IsEnabled() || !IsVisible() || index < 0 || index >= Count()) return false;
  SetCurrentSelection(index);
  NotifyParentCommand(kCbnSelChange);
  return true;
}

bool ComboBox::Type(std::u16string text) {
  if (kind_ != Kind::DropDown || !IsEnabled() || !IsVisible()) return false;
  selection_ = -1;
  SetText(std::move(text));
  return true;
}

ProgressBar::ProgressBar(int id) : Window(u"msctls_progress32", id) {}

void ProgressBar::SetRange(int minimum, int maximum) {
  minimum_ = minimum;
  maximum_ = std::max(minimum, maximum);
  position_ = std::clamp(position_, minimum_, maximum_);
  CurrentBackend().ProgressChanged(*this);
}

void ProgressBar::SetPosition(int position) {
  position_ = std::clamp(position, minimum_, maximum_);
  CurrentBackend().ProgressChanged(*this);
}

}  // namespace sealrun::platform::ui
