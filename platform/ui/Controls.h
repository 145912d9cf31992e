#pragma once
// The common controls the dialogs are made of. Each keeps its state and, when the user (a test or the
// terminal front end) acts on it, tells its parent with WM_COMMAND as the window system does.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/imaging/Image.h"
#include "platform/ui/Window.h"

namespace sealrun::platform::ui {

// A static text, or a picture when an image is set.
class Static : public Window {
 public:
  explicit Static(int id, std::u16string text = {});
  void SetImage(std::shared_ptr<const imaging::Image> image) { image_ = std::move(image); }
  const std::shared_ptr<const imaging::Image>& GetImage() const { return image_; }

 private:
  std::shared_ptr<const imaging::Image> image_;
};

class Edit : public Window {
 public:
  enum class Kind { Plain, Password };
  explicit Edit(int id, Kind kind = Kind::Plain);
  bool IsPassword() const { return kind_ == Kind::Password; }
  // The user types: replaces the text and notifies the parent (EN_CHANGE).
  bool Type(std::u16string text);

 private:
  Kind kind_;
};

class Button : public Window {
 public:
  Button(int id, std::u16string caption);
  // The user clicks: refused (false) while the button is disabled or hidden.
  virtual bool Click();
};

class CheckBox : public Button {
 public:
  CheckBox(int id, std::u16string caption);
  bool IsChecked() const { return checked_; }
  void SetChecked(bool checked) { checked_ = checked; }
  bool Click() override;

 private:
  bool checked_ = false;
};

// Radio buttons with the same group number exclude each other.
class RadioButton : public Button {
 public:
  RadioButton(int id, std::u16string caption, int group);
  bool IsChecked() const { return checked_; }
  // Checks this button and clears the others of its group (no notification, as BM_SETCHECK).
  void Select();
  bool Click() override;
  int Group() const { return group_; }

 private:
  int group_;
  bool checked_ = false;
};

class ComboBox : public Window {
 public:
  enum class Kind { DropDownList, DropDown };  // a drop-down also accepts typed text
  explicit ComboBox(int id, Kind kind = Kind::DropDownList);
  bool AcceptsTypedText() const { return kind_ == Kind::DropDown; }
  int AddString(std::u16string item);
  void ResetContent();
  int Count() const { return static_cast<int>(items_.size()); }
  const std::u16string& ItemText(int index) const { return items_.at(static_cast<size_t>(index)); }
  // -1 when nothing is selected.
  int CurrentSelection() const { return selection_; }
  // Selects without notification (CB_SETCURSEL); the text follows the selection. False for a bad index.
  bool SetCurrentSelection(int index);
  int FindStringExact(std::u16string_view text) const;
  // The user picks an entry: selects it and notifies the parent (CBN_SELCHANGE).
  bool Choose(int index);
  // The user types into a drop-down: the selection is cleared.
  bool Type(std::u16string text);

 private:
  Kind kind_;
  std::vector<std::u16string> items_;
  int selection_ = -1;
};

class ProgressBar : public Window {
 public:
  explicit ProgressBar(int id);
  void SetRange(int minimum, int maximum);
  void SetPosition(int position);
  int Minimum() const { return minimum_; }
  int Maximum() const { return maximum_; }
  int Position() const { return position_; }

 private:
  int minimum_ = 0;
  int maximum_ = 100;
  int position_ = 0;
};

}  // namespace sealrun::platform::ui
