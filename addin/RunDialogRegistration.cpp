#include "addin/RunDialogRegistration.h"

#include "addin/AddinState.h"
#include "addin/HostCalls.h"
#include "platform/com/Bstr.h"
#include "platform/ui/Window.h"
#include "seal/HandwritingCapture.h"
#include "signing/SigModelDlg.h"
#include "workbench/ResultLog.h"
#include "workbench/RunDialogs.h"
#include "workbench/TemplateReadBack.h"

namespace sealrun::addin {

namespace com = platform::com;

namespace {

// The handwriting button: the component's window speaks the host's user-interface language.
std::u16string CaptureHandwritingForDialog(std::u16string_view keySerial, std::vector<uint8_t>& picture,
                                           bool& handwritten) {
  com::LONG language = host::kHostDefaultLanguageId;
  if (const auto application = HostApplication()) application->get_LanguageId(&language);
  return seal::CaptureHandwriting({std::u16string(keySerial), static_cast<int32_t>(language)}, picture, handwritten).pin;
}

int OpenSigningDialog(workbench::RunDialogContext&) {
  AddinState& state = State();
  signing::SignDialogInputs inputs;
  inputs.engine = state.engine.get();
  inputs.files = state.fileList;
  inputs.templates = state.templates;
  inputs.keyword = state.searchText;
  inputs.pageSetting = state.pageSetting;
  inputs.addDate = state.addDate != 0;
  inputs.textPosLocked = state.textPosLocked != 0;
  inputs.signatureMode = state.signatureMode;
  inputs.settings = state.publicSettings;
  inputs.selectTemplate = SelectTemplateAnnotation;
  inputs.captureHandwriting = CaptureHandwritingForDialog;

  signing::CSigModelDlg dialog(std::move(inputs));
  const int ended = dialog.DoModal(platform::ui::ActiveWindow());

  const signing::SignDialogOutcome& outcome = dialog.Outcome();
  if (outcome.summaryEmptied) state.resultSummary.clear();
  if (outcome.keyword) state.searchText = *outcome.keyword;
  if (outcome.pageSetting) state.pageSetting = *outcome.pageSetting;
  if (outcome.failed) FailedItemList() = *outcome.failed;
  if (outcome.tally)
    state.resultSummary = workbench::SigningSummary(outcome.tally->total, static_cast<int>(outcome.tally->failed.size()),
                                                    outcome.tally->milliseconds);
  return ended;
}

}  // namespace

void SelectTemplateAnnotation(std::u16string_view name) {
  const auto document = ActiveDocument();
  if (!document) return;
  bool selected = false;
  workbench::ForEachAnnotation(document.Get(), [&](com::LONG, host::IHostPage*, host::IHostAnnotation* annotation) {
    if (selected) return;
    com::Bstr annotationName;
    if (com::FAILED(annotation->get_Name(annotationName.Out())) || annotationName.View() != name) return;
    com::LONG ignored = 0;
    annotation->Select(&ignored);
    selected = true;
  });
}

void RegisterRunDialogs() { workbench::RegisterRunDialog(workbench::PaneMode::Sign, OpenSigningDialog); }

}  // namespace sealrun::addin
