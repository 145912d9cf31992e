#pragma once
// The batch removal dialog: waits for the seal key's PIN; on "确定" checks it with the key, then removes
// the latest seal of every file when the user's key applied it, stores the summary, closes itself and
// shows the summary.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "external/qp.h"
#include "platform/crypto/Certificate.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/ListView.h"
#include "verify/CBatchVerify.h"
#include "verify/SealOwnership.h"

namespace sealrun::verify {

inline constexpr int kRemoveDialogTemplate = 254;
inline constexpr int kRemovePinControl = 216;
inline constexpr int kRemoveProgressControl = 206;
inline constexpr int kRemoveStatusControl = 217;
inline constexpr int kRemovePromptControl = -1;  // a static without its own id

inline constexpr char16_t kWrongPinText[] = u"密码错误，请重新输入!";
// A key that reports no serial number owns no seal; removing with it would match every record.
inline constexpr char16_t kNoKeySerialText[] = u"无法读取印章密钥序列号，不能撤章!";

// What the key answers for a PIN: 0 when accepted, its serial number, and the certificate the certificate
// library gives for it (which seals with a signed message or signature must have been made with).
struct KeyCheck {
  int32_t pinResult = -1;
  std::u16string serial;
  std::optional<platform::crypto::Certificate> certificate;
};
using KeyChecker = std::function<KeyCheck(std::u16string_view pin)>;

// What the verification run takes, and the key check and summary of removal.
struct RemoveRunInputs : VerifyRunInputs {
  KeyChecker checkKey;                     // without one no PIN is ever accepted
  std::u16string* resultSummary = nullptr;  // receives the run's summary
};

class CCBatchDel : public platform::ui::Dialog {
 public:
  explicit CCBatchDel(RemoveRunInputs inputs);

  // Checks the PIN typed into the dialog and, when the key accepts it, removes and ends the dialog.
  void RunBatchRemove();
  const std::u16string& OwnerSerial() const { return owner_.keySerial; }

 protected:
  void OnInitDialog() override;
  void OnCommand(int id, int code) override;

 private:
  RemoveRunInputs inputs_;
  platform::ui::Edit* pin_;
  platform::ui::ProgressBar* progress_;
  platform::ui::Static* status_;
  SealOwner owner_;
  bool running_ = false;
};

}  // namespace sealrun::verify
