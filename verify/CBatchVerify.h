#pragma once
// The batch verification dialog: the run starts as soon as the dialog is shown, verifies every seal of
// every file in the mode chosen at the start, writes each file's result text into its row, and shows the
// summary until the user closes the dialog.
#include <filesystem>
#include <string>
#include <vector>

#include "config/PublicSettings.h"
#include "config/SignatureMode.h"
#include "external/qp.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/ListView.h"

namespace sealrun::verify {

inline constexpr int kVerifyDialogTemplate = 249;
inline constexpr int kVerifyIconControl = 208;
inline constexpr int kVerifyProgressControl = 206;
inline constexpr int kVerifyStatusControl = 209;
inline constexpr int kRemarkColumn = 2;

struct VerifyRunInputs {
  qp_engine engine = nullptr;
  std::vector<std::u16string> files;  // full paths; file i is row i of the list
  config::SealForm sealForm = config::SealForm::SealAnnotation;  // from the SignatureMode setting
  std::vector<int>* failedItems = nullptr;
  platform::ui::ListView* list = nullptr;  // the pane's file list; may be null
  platform::ui::WindowHandle owner = 0;    // the dialog is centred on it
  config::PublicSettings settings;         // ValidateCertificate asks for the signers to be trusted
  std::filesystem::path moduleFolder;      // the add-in module's folder: the root certificate and revocation list
};

class CBatchVerify : public platform::ui::Dialog {
 public:
  explicit CBatchVerify(VerifyRunInputs inputs);

  // Verifies every file; called when the dialog initialises.
  void RunBatchVerify();
  // The summary of the finished run (empty before).
  const std::u16string& Summary() const { return summary_; }

 protected:
  void OnInitDialog() override;
  void OnCommand(int id, int code) override;

 private:
  VerifyRunInputs inputs_;
  platform::ui::Button* ok_;
  platform::ui::ProgressBar* progress_;
  platform::ui::Static* status_;
  bool running_ = false;
  std::u16string summary_;
};

}  // namespace sealrun::verify
