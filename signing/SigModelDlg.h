#pragma once
// The batch signing dialog: the user chooses a seal of the key, types its PIN, chooses a template entry or
// a keyword placement, optionally the date under the seal, and presses OK; the dialog then stamps every
// file of the list, showing progress, and closes. It receives what it needs from the module-wide state and
// hands its results back, so it depends on nothing above the signing engine.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/PublicSettings.h"
#include "config/SignatureMode.h"
#include "external/qp.h"
#include "platform/com/Variant.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "seal/SealCatalogue.h"
#include "signing/Placement.h"
#include "signing/SealTemplate.h"
#include "signing/SigningRun.h"
#include "signing/StampPreparation.h"

namespace sealrun::signing {

inline constexpr int kSigModelDialogId = 107;
inline constexpr char16_t kSigModelCaption[] = u"批量签章";

// Controls.
inline constexpr int kSealNameLabel = 201;
inline constexpr int kPinLabel = 202;
inline constexpr int kPreview = 203;
inline constexpr int kSealList = 204;
inline constexpr int kPinEdit = 205;
inline constexpr int kProgressBar = 206;
inline constexpr int kStatusLine = 207;
inline constexpr int kPageLabel = 208;
inline constexpr int kTemplateList = 209;
inline constexpr int kKeywordEdit = 210;
inline constexpr int kPageEdit = 211;
inline constexpr int kTemplateMode = 212;
inline constexpr int kKeywordMode = 213;
inline constexpr int kHandwritingButton = 214;
inline constexpr int kRememberPinBox = 215;
inline constexpr int kAddDateBox = 216;

inline constexpr char16_t kNoSealMessage[] = u"没有找到印章，请确认钥匙盘是否插入/网络配置是否正确!";
inline constexpr char16_t kWrongPageMessage[] = u"页码错误，请重新输入!";
inline constexpr char16_t kNoCertificateMessage[] = u"请确认数字证书是否存在!";
inline constexpr char16_t kSigningNoticeCaption[] = u"提示";

// RunSigning's answers.
inline constexpr int kRunDone = 0;
inline constexpr int kRunRefused = -1;       // wrong PIN, no certificate, nothing to stamp
inline constexpr int kRunBadPageNumber = -2;

// Captures a handwritten signature for the key `keySerial`: when something was written, replaces `picture`
// with it (encoded) and sets `handwritten`; returns the PIN typed in the writing window (empty when nothing
// was written, and also when a signature was written without a PIN).
using HandwritingHook =
    std::function<std::u16string(std::u16string_view keySerial, std::vector<uint8_t>& picture, bool& handwritten)>;

// What the dialog opens with.
struct SignDialogInputs {
  qp_engine engine = nullptr;
  std::vector<std::u16string> files;
  std::vector<SealTemplate> templates;  // the pre-stamps read back from the template document
  std::u16string keyword;               // preset keyword (SigText)
  int32_t pageSetting = kPageSettingUnset;
  bool addDate = false;
  bool textPosLocked = false;
  config::SignatureMode signatureMode;
  config::PublicSettings settings;
  // Makes the template document's annotation of that name the current one; may be empty.
  std::function<void(std::u16string_view name)> selectTemplate;
  HandwritingHook captureHandwriting;  // the handwriting button does nothing without it
};

// What the dialog leaves behind for the module-wide state; unset members leave it as it was.
struct SignDialogOutcome {
  bool summaryEmptied = false;            // a run was attempted
  std::optional<std::u16string> keyword;  // the keyword mode's text, stored by the run
  std::optional<int32_t> pageSetting;     // page number - 1, stored by the run
  std::optional<std::vector<int>> failed; // emptied when the run starts, then the failed rows
  std::optional<SigningRunTally> tally;   // a complete run
};

class CSigModelDlg : public platform::ui::Dialog {
 public:
  explicit CSigModelDlg(SignDialogInputs inputs);

  const SignDialogOutcome& Outcome() const { return outcome_; }
  const StampImages& Images() const { return images_; }

  void InitSignDialog();
  int RunSigning();
  void PrepareStampImage();

 protected:
  void OnInitDialog() override { InitSignDialog(); }
  void OnCommand(int id, int code) override;

 private:
  void CreateControls();
  void OnSealChanged();
  void OnTemplateChanged();
  void OnTemplateMode();
  void OnKeywordMode();
  void OnHandwriting();
  void EnableRunControls(bool enabled);
  void ShowNotice(std::u16string_view text);
  std::optional<SealRecordFields> SelectedSealRecord() const;
  const SealTemplate* SelectedTemplate() const;
  // The steps of RunSigning.
  void ShowRunProgress(int count);
  std::optional<PlacementSettings> ReadPlacementControls();
  StampInputs BuildStampInputs(const PlacementSettings& placement);
  void StampEveryFile(const StampInputs& stamp, std::u16string pin);

  SignDialogInputs inputs_;
  SignDialogOutcome outcome_;
  seal::SealCatalogue catalogue_;
  StampImages images_;
  std::vector<SealTemplate> templates_;  // one copy per entry of the template list
  platform::com::Variant certificateValue_;  // filled by the certificate library with each signed message
  std::u16string ipAddress_;                // resolved once per run
  std::u16string keyword_;

  platform::ui::ComboBox* sealList_ = nullptr;
  platform::ui::Edit* pinEdit_ = nullptr;
  platform::ui::RadioButton* templateMode_ = nullptr;
  platform::ui::ComboBox* templateList_ = nullptr;
  platform::ui::RadioButton* keywordMode_ = nullptr;
  platform::ui::Edit* keywordEdit_ = nullptr;
  platform::ui::Static* pageLabel_ = nullptr;
  platform::ui::Edit* pageEdit_ = nullptr;
  platform::ui::Static* preview_ = nullptr;
  platform::ui::Button* handwritingButton_ = nullptr;
  platform::ui::CheckBox* rememberPin_ = nullptr;
  platform::ui::CheckBox* addDate_ = nullptr;
  platform::ui::ProgressBar* progress_ = nullptr;
  platform::ui::Static* status_ = nullptr;
  platform::ui::Button* okButton_ = nullptr;
  platform::ui::Button* cancelButton_ = nullptr;
};

// Reads a page number as the dialog does: an optional sign and decimal digits, leading and trailing
// blanks ignored; nullopt for anything else or a value outside 32 bits.
std::optional<int32_t> ParsePageNumber(std::u16string_view text);

}  // namespace sealrun::signing
