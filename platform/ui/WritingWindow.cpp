#include "platform/ui/WritingWindow.h"

#include <memory>

#include "platform/imaging/ImageCodec.h"
#include "platform/ui/Controls.h"
#include "platform/ui/HeadlessBackend.h"

namespace sealrun::platform::ui {

WritingWindow::WritingWindow(WritingWindowSetup setup)
    : Dialog(kWritingWindowTemplateId, setup.caption), setup_(std::move(setup)) {
  AddChild(std::make_unique<Static>(kWritingPadId));
  AddChild(std::make_unique<Static>(0, setup_.pinLabel));
  AddChild(std::make_unique<Static>(kWritingKeyId, setup_.keyNumber));
  AddChild(std::make_unique<Edit>(kWritingPinId, Edit::Kind::Password));
  auto* widths = AddChild(std::make_unique<ComboBox>(kWritingPenWidthId, ComboBox::Kind::DropDown));
  for (const auto& width : setup_.penWidths) widths->AddString(width);
  auto* usual = AddChild(std::make_unique<ComboBox>(kWritingUsualTextId, ComboBox::Kind::DropDownList));
  for (const auto& text : setup_.usualTexts) usual->AddString(text);
  AddChild(std::make_unique<Button>(kWritingClearId, setup_.clearLabel));
  for (size_t i = 0; i < setup_.settings.size(); ++i) {
    AddChild(std::make_unique<Static>(0, setup_.settings[i].name));
    auto* edit = AddChild(std::make_unique<Edit>(kWritingFirstSettingId + static_cast<int>(i)));
    edit->SetText(setup_.settings[i].value);
  }
  const int current = SettingIndex(setup_.penWidthSetting);
  if (current >= 0) {
    const int index = widths->FindStringExact(setup_.settings[static_cast<size_t>(current)].value);
    if (index >= 0) widths->SetCurrentSelection(index);
  }
  AddChild(std::make_unique<Button>(kIdOk, u"OK"));
  AddChild(std::make_unique<Button>(kIdCancel, u"Cancel"));
}

bool WritingWindow::Write(std::span<const uint8_t> picture) {
  if (!IsRunning() || picture.empty()) return false;
  picture_.assign(picture.begin(), picture.end());
  // The pad shows what it can draw; bytes it cannot draw are still what the user handed over.
  auto* pad = ChildAs<Static>(kWritingPadId);
  if (auto image = imaging::DecodeImage(picture))
    pad->SetImage(std::make_shared<const imaging::Image>(std::move(*image)));
  else
    pad->SetImage(nullptr);
  return true;
}

void WritingWindow::ClearPad() {
  picture_.clear();
  ChildAs<Static>(kWritingPadId)->SetImage(nullptr);
}

bool WritingWindow::TypePin(std::u16string pin) { return ChildAs<Edit>(kWritingPinId)->Type(std::move(pin)); }

std::u16string WritingWindow::Pin() const { return ChildAs<Edit>(kWritingPinId)->Text(); }

int WritingWindow::SettingIndex(std::u16string_view name) const {
  if (name.empty()) return -1;
  for (size_t i = 0; i < setup_.settings.size(); ++i)
    if (setup_.settings[i].name == name) return static_cast<int>(i);
  return -1;
}

bool WritingWindow::ChangeSetting(std::u16string_view name, std::u16string value) {
  const int index = SettingIndex(name);
  if (index < 0) return false;
  return ChildAs<Edit>(kWritingFirstSettingId + index)->Type(std::move(value));
}

bool WritingWindow::ChoosePenWidth(std::u16string_view width) {
  auto* widths = ChildAs<ComboBox>(kWritingPenWidthId);
  const int index = widths->FindStringExact(width);
  return index >= 0 && widths->Choose(index);
}

void WritingWindow::Confirm() { ChildAs<Button>(kIdOk)->Click(); }

void WritingWindow::Cancel() { ChildAs<Button>(kIdCancel)->Click(); }

std::vector<WritingSetting> WritingWindow::Settings() const {
  std::vector<WritingSetting> settings = setup_.settings;
  for (size_t i = 0; i < settings.size(); ++i)
    settings[i].value = ChildAs<Edit>(kWritingFirstSettingId + static_cast<int>(i))->Text();
  return settings;
}

void WritingWindow::OnCommand(int id, int code) {
  if (id == kWritingClearId && code == kBnClicked) {
    ClearPad();
    return;
  }
  if (id == kWritingPenWidthId) {
    // A width picked from the box is the pen width from now on.
    const auto* widths = ChildAs<ComboBox>(kWritingPenWidthId);
    const int index = SettingIndex(setup_.penWidthSetting);
    if (index >= 0 && widths->CurrentSelection() >= 0)
      ChildAs<Edit>(kWritingFirstSettingId + index)->SetText(widths->ItemText(widths->CurrentSelection()));
    return;
  }
  Dialog::OnCommand(id, code);
}

void ScriptWritingWindow(HeadlessBackend& backend, WritingAnswer answer) {
  backend.OnDialog(kWritingWindowTemplateId, [answer = std::move(answer)](Dialog& dialog) {
    auto* window = dynamic_cast<WritingWindow*>(&dialog);
    if (window == nullptr) return;
    for (const auto& change : answer.changes) window->ChangeSetting(change.name, change.value);
    window->TypePin(answer.pin);
    if (answer.picture && window->Write(*answer.picture))
      window->Confirm();
    else
      window->Cancel();
  });
}

}  // namespace sealrun::platform::ui
