#include "addin/VerifyDialogRegistration.h"

#include "addin/AddinState.h"
#include "platform/ui/Window.h"
#include "seal/AutomationObject.h"
#include "seal/AutomationValues.h"
#include "seal/CertificateValidation.h"
#include "seal/ComponentIds.h"
#include "seal/KeyPin.h"
#include "seal/SignerCertificate.h"
#include "verify/CBatchVerify.h"
#include "workbench/RunDialogs.h"

namespace sealrun::addin {

namespace com = platform::com;
namespace ui = platform::ui;

namespace {

ui::WindowHandle ActiveHandle() {
  const ui::Window* active = ui::ActiveWindow();
  return active != nullptr ? active->Handle() : 0;
}

// What both runs take from the add-in: the engine, the pane's files and list, the seal form, the settings
// and the folder of the certificate files that judge signers.
void FillRunInputs(verify::VerifyRunInputs& inputs, workbench::RunDialogContext& context) {
  AddinState& state = State();
  inputs.engine = state.engine.get();
  inputs.files = state.fileList;
  inputs.sealForm = state.signatureMode.Form();
  inputs.settings = state.publicSettings;
  inputs.moduleFolder = seal::ValidationFileFolder();
  inputs.failedItems = &FailedItemList();
  inputs.list = &context.list;
  inputs.owner = ActiveHandle();
}

int OpenVerifyDialog(workbench::RunDialogContext& context) {
  verify::VerifyRunInputs inputs;
  FillRunInputs(inputs, context);
  verify::CBatchVerify dialog(std::move(inputs));
  return dialog.DoModal(ui::ActiveWindow());
}

int OpenRemoveDialog(workbench::RunDialogContext& context) {
  verify::RemoveRunInputs inputs;
  FillRunInputs(inputs, context);
  inputs.checkKey = CheckKeyForRemoval;
  inputs.resultSummary = &State().resultSummary;
  verify::CCBatchDel dialog(std::move(inputs));
  return dialog.DoModal(ui::ActiveWindow());
}

}  // namespace

verify::KeyCheck CheckKeyForRemoval(std::u16string_view pin) {
  verify::KeyCheck check{seal::kPinNotChecked, {}, std::nullopt};
  const seal::AutomationObject key = seal::AutomationObject::Create(seal::kKeyObjectClsid);
  if (!key.IsValid()) return check;
  key.Call(u"WebCreateKeyObject");
  key.Call(u"WebOpenKeyObject");
  com::Variant serial(u"");
  key.Call(u"WebGetKeySerialNumber", {}, serial);
  check.serial = seal::TextOf(serial);
  com::Variant answer(int32_t{0});
  const com::HRESULT verified = key.Call(u"VerifyPin", {com::Variant(pin)}, answer);
  key.Call(u"WebDeleteKeyObject");
  // A skipped or failed VerifyPin leaves the initial 0, which would read as "accepted".
  if (com::FAILED(verified)) return check;
  const auto value = seal::NumberOf(answer);
  if (!value) return check;
  check.pinResult = *value;
  // The key's own certificate tells its seals from seals that merely name its serial.
  if (check.pinResult == 0) check.certificate = seal::GetSignerCertificate(u"", State().publicSettings.cspName);
  return check;
}

void RegisterVerifyDialogs() {
  workbench::RegisterRunDialog(workbench::PaneMode::Verify, OpenVerifyDialog);
  workbench::RegisterRunDialog(workbench::PaneMode::Remove, OpenRemoveDialog);
}

}  // namespace sealrun::addin
