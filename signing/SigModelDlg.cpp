#include "signing/SigModelDlg.h"


#include <chrono>
#include <limits>
#include <memory>
#include <utility>

#include "platform/net/LocalAddress.h"
#include "platform/text/Utf.h"
#include "platform/ui/Backend.h"
#include "platform/ui/Window.h"
#include "seal/KeyPin.h"
#include "seal/PinFlow.h"
#include "seal/SignerCertificate.h"
#include "signing/SignerChoice.h"

namespace sealrun::signing {

namespace ui = platform::ui;

namespace {

// Radio group of the two placement choices.
constexpr int kPlacementGroup = 1;
// Client size of the preview control, in pixels.
constexpr int kPreviewWidth = 120;
constexpr int kPreviewHeight = 120;

template <typename T, typename... Args>
T* Add(ui::Window& parent, Args&&... args) {
  return parent.AddChild(std::make_unique<T>(std::forward<Args>(args)...));
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

std::optional<int32_t> ParsePageNumber(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == u'-' || text.front() == u'+')) {
    negative = text.front() == u'-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
    if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(value);
}

CSigModelDlg::CSigModelDlg(SignDialogInputs inputs)
    : ui::Dialog(kSigModelDialogId, kSigModelCaption), inputs_(std::move(inputs)) {
  CreateControls();
}

void CSigModelDlg::CreateControls() {
  Add<ui::Static>(*this, kSealNameLabel, u"签章名称");
  sealList_ = Add<ui::ComboBox>(*this, kSealList);
  Add<ui::Static>(*this, kPinLabel, u"签章密码");
  pinEdit_ = Add<ui::Edit>(*this, kPinEdit, ui::Edit::Kind::Password);
  templateMode_ = Add<ui::RadioButton>(*this, kTemplateMode, u"印模选择", kPlacementGroup);
  templateList_ = Add<ui::ComboBox>(*this, kTemplateList);
  keywordMode_ = Add<ui::RadioButton>(*this, kKeywordMode, u"文字定位", kPlacementGroup);
  keywordEdit_ = Add<ui::Edit>(*this, kKeywordEdit);
  pageLabel_ = Add<ui::Static>(*this, kPageLabel, u"页码");
  pageEdit_ = Add<ui::Edit>(*this, kPageEdit);
  preview_ = Add<ui::Static>(*this, kPreview);
  preview_->Move({0, 0, kPreviewWidth, kPreviewHeight});
  handwritingButton_ = Add<ui::Button>(*this, kHandwritingButton, u"手写签名");
  rememberPin_ = Add<ui::CheckBox>(*this, kRememberPinBox, u"记住密码");
  addDate_ = Add<ui::CheckBox>(*this, kAddDateBox, u"附加日期");
  progress_ = Add<ui::ProgressBar>(*this, kProgressBar);
  progress_->Show(false);
  status_ = Add<ui::Static>(*this, kStatusLine);
  status_->Show(false);
  okButton_ = Add<ui::Button>(*this, ui::kIdOk, u"确定");
  cancelButton_ = Add<ui::Button>(*this, ui::kIdCancel, u"取消");
}

void CSigModelDlg::ShowNotice(std::u16string_view text) {
  ui::MessageBox(ui::ActiveWindow(), std::u16string(text), kSigningNoticeCaption, ui::kMbIconInformation);
}

void CSigModelDlg::InitSignDialog() {
  if (!catalogue_.LoadSealCatalogue(*sealList_) || sealList_->Count() == 0) {
    ShowNotice(kNoSealMessage);
    EndDialog(0);
    return;
  }
  sealList_->SetCurrentSelection(0);

  templates_ = inputs_.templates;
  for (const SealTemplate& record : templates_) templateList_->AddString(record.name);
  if (templateList_->Count() > 0) templateList_->SetCurrentSelection(0);

  addDate_->SetChecked(inputs_.addDate);
  PrepareStampImage();

  const std::u16string remembered = seal::RecallPin();
  if (!remembered.empty()) {
    rememberPin_->SetChecked(true);
    pinEdit_->SetText(remembered);
  }

  if (!inputs_.keyword.empty() && inputs_.pageSetting != kPageSettingUnset) {
    keywordMode_->Select();
    templateList_->Enable(false);
    keywordEdit_->SetText(inputs_.keyword);
    pageEdit_->SetText(platform::text::Widen(std::to_string(int64_t{inputs_.pageSetting} + 1)));
    if (templateList_->Count() == 0) templateMode_->Enable(false);
  } else {
    templateMode_->Select();
    keywordEdit_->Enable(false);
    pageLabel_->Enable(false);
    pageEdit_->Enable(false);
  }
  if (inputs_.textPosLocked) {
    keywordEdit_->Enable(false);
    pageEdit_->Enable(false);
  }
}

void CSigModelDlg::PrepareStampImage() {
  // The seal list's text may name a seal whose picture is not loaded yet (a key inserted since): the
  // catalogue loads again once; a name still unknown has no picture, and nothing is read past the list.
  const int position = catalogue_.LookupSealPicture(sealList_->Text(), *sealList_);
  const std::span<const uint8_t> picture = catalogue_.PictureBytes(position);
  const PreparedStamp prepared = signing::PrepareStampImage(
      images_, picture, addDate_->IsChecked(), LocalStampDate(std::chrono::system_clock::now()));
  if (!prepared.image) {
    preview_->SetImage(nullptr);
    return;
  }
  const ui::Rect client = preview_->Bounds();
  auto scaled = ScaleToFit(*prepared.image, client.Width(), client.Height());
  preview_->SetImage(scaled ? std::make_shared<const platform::imaging::Image>(std::move(*scaled)) : nullptr);
}

void CSigModelDlg::OnCommand(int id, int code) {
  switch (id) {
    case ui::kIdOk:
      RunSigning();
      return;
    case ui::kIdCancel:
      EndDialog(ui::kIdCancel);
      return;
    case kSealList:
      if (code == ui::kCbnSelChange) OnSealChanged();
      return;
    case kTemplateList:
      if (code == ui::kCbnSelChange) OnTemplateChanged();
      return;
    case kTemplateMode:
      OnTemplateMode();
      return;
    case kKeywordMode:
      OnKeywordMode();
      return;
    case kHandwritingButton:
      OnHandwriting();
      return;
    case kAddDateBox:
      PrepareStampImage();
      return;
    default:
      return;
  }
}

void CSigModelDlg::OnSealChanged() {
  images_.handwritten = false;
  PrepareStampImage();
}

void CSigModelDlg::OnTemplateChanged() {
  if (inputs_.selectTemplate && templateList_->CurrentSelection() >= 0)
    inputs_.selectTemplate(templateList_->ItemText(templateList_->CurrentSelection()));
}

void CSigModelDlg::OnTemplateMode() {
  templateList_->Enable(true);
  // Keyword mode only cleared the choice: the entries stay, so coming back offers them again.
  if (templateList_->CurrentSelection() < 0 && templateList_->Count() > 0) templateList_->SetCurrentSelection(0);
  keywordEdit_->Enable(false);
  pageLabel_->Enable(false);
  pageEdit_->Enable(false);
}

void CSigModelDlg::OnKeywordMode() {
  templateList_->SetCurrentSelection(-1);
  templateList_->Enable(false);
  if (!inputs_.textPosLocked) {
    keywordEdit_->Enable(true);
    pageLabel_->Enable(true);
    pageEdit_->Enable(true);
  }
}

void CSigModelDlg::OnHandwriting() {
  if (!inputs_.captureHandwriting) return;
  if (!rememberPin_->IsChecked()) seal::ForgetPin();
  bool captured = false;
  const std::u16string pin = inputs_.captureHandwriting(catalogue_.KeySerial(), images_.handwriting, captured);
  // A signature written without a PIN is still what the run stamps: the preview must show it too.
  if (captured) {
    images_.handwritten = true;
    PrepareStampImage();
  }
  if (pin.empty()) return;
  if (!seal::RecallPin().empty()) rememberPin_->SetChecked(true);
  pinEdit_->SetText(pin);
  sealList_->Enable(false);
}

void CSigModelDlg::EnableRunControls(bool enabled) {
  EnableCloseCommand(enabled);
  cancelButton_->Enable(enabled);
  okButton_->Enable(enabled);
  sealList_->Enable(enabled);
  templateList_->Enable(enabled && templateMode_->IsChecked());
}

std::optional<SealRecordFields> CSigModelDlg::SelectedSealRecord() const {
  const int index = catalogue_.FindSealRecord(sealList_->Text());
  if (index < 0) return std::nullopt;
  const seal::SealRecord& record = catalogue_.Records()[static_cast<size_t>(index)];
  return SealRecordFields{record.SignName, record.UnitName, record.UserName, record.SerialNumber};
}

const SealTemplate* CSigModelDlg::SelectedTemplate() const {
  const int selected = templateList_->CurrentSelection();
  if (selected < 0 || static_cast<size_t>(selected) >= templates_.size()) return nullptr;
  return &templates_[static_cast<size_t>(selected)];
}

int CSigModelDlg::RunSigning() {
  outcome_.summaryEmptied = true;
  const std::u16string pin = pinEdit_->Text();
  if (!seal::AcceptPinForRun(pin, rememberPin_->IsChecked())) return kRunRefused;

  ShowRunProgress(static_cast<int>(inputs_.files.size()));
  outcome_.failed = std::vector<int>{};

  const std::optional<PlacementSettings> placement = ReadPlacementControls();
  if (!placement) {
    ShowNotice(kWrongPageMessage);
    return kRunBadPageNumber;
  }
  // A seal whose picture could not be prepared would be stamped as nothing: refuse before any file.
  if (images_.stampWidth <= 0 || images_.stampHeight <= 0) {
    ShowNotice(kNoSealMessage);
    return kRunRefused;
  }

  EnableRunControls(false);
  StampInputs stamp = BuildStampInputs(*placement);
  const SignerChoice signer = ChooseSigner(
      {inputs_.signatureMode, inputs_.settings,
       [](std::u16string_view configuredProvider) { return seal::GetSignerCertificate(u"", configuredProvider); },
       stamp.keySerial, stamp.seal});
  if (std::holds_alternative<NoSignerCertificate>(signer)) {
    EnableRunControls(true);
    ShowNotice(kNoCertificateMessage);
    return kRunRefused;
  }
  ApplySigner(signer, certificateValue_, stamp);
  StampEveryFile(stamp, pin);

  EndDialog(ui::kIdOk);
  ipAddress_.clear();
  return kRunDone;
}

void CSigModelDlg::ShowRunProgress(int count) {
  progress_->Show(true);
  progress_->SetPosition(0);
  status_->Show(true);
  progress_->SetRange(1, count);
}

std::optional<PlacementSettings> CSigModelDlg::ReadPlacementControls() {
  PlacementSettings placement;
  placement.keywordMode = keywordMode_->IsChecked();
  if (placement.keywordMode) {
    keyword_ = keywordEdit_->Text();
    outcome_.keyword = keyword_;
    const std::optional<int32_t> page = ParsePageNumber(pageEdit_->Text());
    if (!page || *page < 0) return std::nullopt;
    outcome_.pageSetting = *page - 1;
  }
  placement.keyword = placement.keywordMode ? std::u16string_view(keyword_) : std::u16string_view(inputs_.keyword);
  placement.pageSetting = outcome_.pageSetting.value_or(inputs_.pageSetting);
  placement.selectedTemplate = placement.keywordMode ? nullptr : SelectedTemplate();
  return placement;
}

StampInputs CSigModelDlg::BuildStampInputs(const PlacementSettings& placement) {
  StampInputs stamp;
  stamp.engine = inputs_.engine;
  stamp.image = ImageForRun(images_, addDate_->IsChecked());
  stamp.handwritten = images_.handwritten;
  stamp.placement = placement;
  stamp.placement.stampWidth = images_.stampWidth;
  stamp.placement.stampHeight = images_.stampHeight;
  stamp.seal = SelectedSealRecord();
  stamp.keySerial = catalogue_.KeySerial();
  if (ipAddress_.empty()) ipAddress_ = platform::text::Widen(platform::net::LocalIPv4Address());
  stamp.ipAddress = ipAddress_;
  stamp.signatureMode = inputs_.signatureMode;
  return stamp;
}

void CSigModelDlg::StampEveryFile(const StampInputs& stamp, std::u16string pin) {
  const std::u16string statusPrefix =
      u"共" + platform::text::Widen(std::to_string(inputs_.files.size())) + u"份，正在盖章份数为：";
  const StampFile stampFile = MakeStamper(inputs_.signatureMode.Form(), stamp, std::move(pin));
  SigningRunTally tally = RunSigningBatch(inputs_.files, stampFile, [&](int index, int) {
    progress_->SetPosition(index + 1);
    status_->SetText(statusPrefix + platform::text::Widen(std::to_string(index + 1)) + u"...");
    // The one pending message delivered per file keeps the window alive during a long run.
    ui::PumpOneMessage();
  });
  outcome_.failed = tally.failed;
  outcome_.tally = std::move(tally);
}

}  // namespace sealrun::signing
