#pragma once
// The handwriting component's writing window: a pad the user writes a signature on, the PIN of the seal
// key typed beside it, and the pen and font settings the user may change before writing. The window only
// shows and collects; the component decides what the settings mean and what it hands back.
//
// Without a screen the user is scripted like any dialog: ScriptWritingWindow tells a headless (or
// terminal) backend what the user writes, which PIN they type and which settings they change.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/Dialog.h"

namespace sealrun::platform::ui {

class HeadlessBackend;

inline constexpr int kWritingWindowTemplateId = 3000;
inline constexpr int kWritingPadId = 3001;      // Static: shows what was written
inline constexpr int kWritingPinId = 3002;      // Edit (password)
inline constexpr int kWritingPenWidthId = 3003; // ComboBox (drop-down): pen widths offered
inline constexpr int kWritingUsualTextId = 3004;// ComboBox (drop-down list): texts often written
inline constexpr int kWritingClearId = 3005;    // Button: wipes the pad
inline constexpr int kWritingKeyId = 3006;      // Static: the key the PIN is for
inline constexpr int kWritingFirstSettingId = 3100;  // one Edit per setting, in the settings' order

// One setting shown in the window, by the component's name for it.
struct WritingSetting {
  std::u16string name;
  std::u16string value;
};

struct WritingWindowSetup {
  std::u16string caption;
  std::u16string pinLabel;
  std::u16string clearLabel;
  std::u16string keyNumber;  // the key the PIN belongs to
  std::vector<WritingSetting> settings;
  std::vector<std::u16string> penWidths;   // offered in the pen-width box
  std::u16string penWidthSetting;          // the setting a chosen pen width goes to (none when empty)
  std::vector<std::u16string> usualTexts;  // offered in the usual-text box
};

class WritingWindow : public Dialog {
 public:
  explicit WritingWindow(WritingWindowSetup setup);

  // What the user does.
  // Writes on the pad: the pad holds this picture (encoded bytes) from now on. Refused while empty.
  bool Write(std::span<const uint8_t> picture);
  void ClearPad();
  bool TypePin(std::u16string pin);
  // Changes one setting as shown in the window; false for a setting the window does not show.
  bool ChangeSetting(std::u16string_view name, std::u16string value);
  // Picks a pen width from the box (it becomes the pen-width setting); false for a width not offered.
  bool ChoosePenWidth(std::u16string_view width);
  // Closes the window with OK (Confirm) or without an answer (Cancel).
  void Confirm();
  void Cancel();

  // What the window collected.
  const std::vector<uint8_t>& Picture() const { return picture_; }
  bool HasPicture() const { return !picture_.empty(); }
  std::u16string Pin() const;
  // The settings in the order they were given, with the user's changes.
  std::vector<WritingSetting> Settings() const;
  const WritingWindowSetup& Setup() const { return setup_; }

 protected:
  void OnCommand(int id, int code) override;

 private:
  int SettingIndex(std::u16string_view name) const;

  WritingWindowSetup setup_;
  std::vector<uint8_t> picture_;
};

// What a scripted user does in the writing window.
struct WritingAnswer {
  std::optional<std::vector<uint8_t>> picture;  // nothing: the user closes the window without writing
  std::u16string pin;
  std::vector<WritingSetting> changes;
};

// Plays `answer` in every writing window the backend runs from now on.
void ScriptWritingWindow(HeadlessBackend& backend, WritingAnswer answer);

}  // namespace sealrun::platform::ui
