#include "workbench/BatchPaneWindow.h"

#include "workbench/HostCalls.h"
#include "workbench/TemplateReadBack.h"
#include "seal/CertificateValidation.h"
#include "workbench/ResultLog.h"
#include "workbench/RunDialogs.h"
#include "platform/com/Guard.h"
#include "platform/ui/Backend.h"

namespace sealrun::workbench {

namespace ui = platform::ui;

namespace {

// Window styles the pane's children carry, with their Windows values.
constexpr uint32_t kWsChild = 0x40000000;
constexpr uint32_t kWsVisible = 0x10000000;
constexpr uint32_t kWsClipChildren = 0x02000000;
constexpr uint32_t kWsClipSiblings = 0x04000000;
constexpr uint32_t kWsBorder = 0x00800000;
constexpr uint32_t kTbStyleTooltips = 0x0100;
constexpr uint32_t kTbStyleFlat = 0x0800;
constexpr uint32_t kTbStyleList = 0x1000;
constexpr uint32_t kLvsReport = 0x0001;
constexpr uint32_t kLvsSingleSel = 0x0004;
constexpr uint32_t kLvsShowSelAlways = 0x0008;
constexpr uint32_t kLvsShareImageLists = 0x0040;
constexpr uint32_t kLvsAutoArrange = 0x0100;
constexpr uint32_t kWsExContextHelp = 0x00000400;
constexpr uint32_t kWsExAcceptFiles = 0x00000010;
constexpr int kToolbarHeight = 26;
// Windows joins the dialog's folder and names with "\"; here the separator is "/".
constexpr char16_t kPathSeparator = u'/';

}  // namespace

std::u16string RunTooltip(PaneMode mode) {
  switch (mode) {
    case PaneMode::Verify: return u"签章验证";
    case PaneMode::Remove: return u"批量撤章";
    default: return u"批量签章";
  }
}

std::u16string ResultsTooltip(PaneMode mode) {
  switch (mode) {
    case PaneMode::Verify: return u"导出日志";
    case PaneMode::Remove: return u"撤章结果";
    default: return u"签章结果";
  }
}

BatchPaneWindow::BatchPaneWindow() : Window(u"QPXBatchPane") {
  SetStyle(kWsChild | kWsVisible | kWsClipChildren | kWsClipSiblings);
}

std::u16string BatchPaneWindow::FileNameOfPath(std::u16string_view path) {
  size_t cut = path.rfind(u'\\');
  if (cut == std::u16string_view::npos) cut = path.rfind(u'/');
  return std::u16string(cut == std::u16string_view::npos ? path : path.substr(cut + 1));
}

// The host's message loop calls in here: what a command throws (a run opens files, dialogs and the seal key)
// stays in the add-in, traced as a COM method's would be.
ui::LResult BatchPaneWindow::HandleMessage(uint32_t message, ui::WParam wParam, ui::LParam lParam) {
  ui::LResult result = 0;
  platform::com::Guard("BatchPaneWindow::HandleMessage", [&] {
    result = HandlePaneMessage(message, wParam, lParam);
    return platform::com::S_OK;
  });
  return result;
}

ui::LResult BatchPaneWindow::HandlePaneMessage(uint32_t message, ui::WParam wParam, ui::LParam lParam) {
  switch (message) {
    case ui::kWmCreate:
      Create();
      return 0;
    case ui::kWmSize:
      Layout();
      return 0;
    case ui::kWmSetFocus:
      RefreshForFocus();
      return 0;
    case ui::kWmNotify: {
      const auto* header = reinterpret_cast<const ui::NotifyHeader*>(lParam);
      if (header != nullptr && list_ != nullptr && header->from == list_->Handle() && header->code == ui::kNmDblClk)
        OpenSelected();
      return 0;
    }
    case ui::kWmCommand:
      switch (ui::CommandId(wParam)) {
        case kAddFilesCommand: AddFiles(); return 0;
        case kRunCommand: Run(); return 0;
        case kClearCommand: Clear(); return 0;
        case kResultsCommand:
          if (list_ != nullptr) ShowResults(State().paneMode, *list_);
          return 0;
        default: break;
      }
      break;
    default:
      break;
  }
  return Window::HandleMessage(message, wParam, lParam);
}

void BatchPaneWindow::Create() {
  if (toolbar_ != nullptr) return;
  auto toolbar = std::make_unique<ui::Toolbar>(kToolbarId);
  toolbar->SetStyle(kWsChild | kWsVisible | kWsClipChildren | kWsClipSiblings | kWsBorder | kTbStyleTooltips |
                    kTbStyleFlat | kTbStyleList);
  toolbar->AddButton(kAddFilesCommand, 0, u"添加文件");
  toolbar->AddButton(kRunCommand, 1, u"批量签章");
  toolbar->AddButton(kClearCommand, 2, u"清除文件");
  toolbar->AddButton(kResultsCommand, 3, u"签章结果");
  toolbar_ = AddChild(std::move(toolbar));

  auto list = std::make_unique<ui::ListView>(kFileListId);
  list->SetStyle(kWsChild | kWsVisible | kWsClipChildren | kWsClipSiblings | kLvsReport | kLvsSingleSel |
                 kLvsShowSelAlways | kLvsShareImageLists | kLvsAutoArrange);
  list->SetExStyle(kWsExContextHelp | kWsExAcceptFiles);
  list->InsertColumn(kNameColumn, {u"文件名称", 100, ui::ListView::Align::Center});
  list->InsertColumn(kPathColumn, {u"路径", 150, ui::ListView::Align::Center});
  list->InsertColumn(kRemarkColumn, {u"备注", 150, ui::ListView::Align::Center});
  list_ = AddChild(std::move(list));
  Layout();
}

void BatchPaneWindow::Layout() {
  if (toolbar_ == nullptr || list_ == nullptr) return;
  const ui::Rect client = Bounds();
  const int width = client.Width();
  const int height = client.Height();
  const int barHeight = height < kToolbarHeight ? height : kToolbarHeight;
  toolbar_->Move({0, 0, width, barHeight});
  list_->Move({0, barHeight, width, height});
}

void BatchPaneWindow::AddFiles() {
  if (list_ == nullptr) return;
  Enable(false);
  ui::OpenFileRequest request;
  request.owner = Handle();
  request.filters = {{u"PDF文件(*.pdf)", u"*.pdf"}};
  request.multiSelect = true;
  request.fileMustExist = true;
  request.bufferUnits = kAddFilesBufferUnits;
  const auto answer = ui::GetOpenFileName(request);
  if (answer) {
    std::u16string directory = answer->directory;
    while (!directory.empty() && (directory.back() == u'\\' || directory.back() == u'/')) directory.pop_back();
    int row = 0;
    for (const std::u16string& name : answer->fileNames) {
      const int inserted = list_->InsertRow(row++, name);
      list_->SetItemText(inserted, kPathColumn, directory + kPathSeparator + name);
    }
  }
  Enable(true);
}

void BatchPaneWindow::Clear() {
  if (list_ != nullptr) list_->DeleteAllRows();
  State().fileList.clear();
  State().resultSummary.clear();
}

void BatchPaneWindow::OpenSelected() {
  if (list_ == nullptr) return;
  const int row = list_->NextItem(-1, ui::kLvisSelected);
  OpenDocumentInHost(list_->ItemText(row, kPathColumn));
}

void BatchPaneWindow::RefreshForFocus() {
  if (toolbar_ == nullptr || list_ == nullptr) return;
  const PaneMode mode = State().paneMode;
  toolbar_->SetTooltip(kRunCommand, RunTooltip(mode));
  toolbar_->SetTooltip(kResultsCommand, ResultsTooltip(mode));
  const auto& files = State().fileList;
  if (files.empty() || list_->RowCount() != 0) return;
  for (size_t i = 0; i < files.size(); ++i) {
    const int row = list_->InsertRow(static_cast<int>(i), FileNameOfPath(files[i]));
    list_->SetItemText(row, kPathColumn, files[i]);
  }
}

RunOutcome BatchPaneWindow::Run() {
  if (list_ == nullptr || list_->RowCount() == 0) {
    ui::MessageBox(ui::ActiveWindow(), kNoFilesMessage, kNoticeCaption, ui::kMbIconInformation);
    return RunOutcome::NoFiles;
  }
  AddinState& state = State();
  state.fileList.clear();
  for (int row = 0; row < list_->RowCount(); ++row) state.fileList.push_back(list_->ItemText(row, kPathColumn));

  const PaneMode mode = state.paneMode;
  if (mode == PaneMode::Sign) {
    const int templates = ReadBackTemplates();
    const bool keywordPreset = !state.searchText.empty() && state.pageSetting != kPageSettingUnset;
    if (!keywordPreset && templates <= 0) {
      ui::MessageBox(ui::ActiveWindow(), templates < 0 ? kOpenTemplateFirst : kPreStampFirst, kNoticeCaption,
                     ui::kMbIconInformation);
      return templates < 0 ? RunOutcome::NoTemplateDocument : RunOutcome::NoPreStamp;
    }
    if (state.publicSettings.validateCertificate) {
      const int32_t code = seal::ValidateSignerCertificate(state.publicSettings.cspName);
      if (!seal::ValidationLetsRunStart(code)) {
        seal::ShowValidationMessage(code);
        return RunOutcome::CertificateRefused;
      }
    }
  }
  RunDialogContext context{*list_};
  const auto ended = OpenRunDialog(mode, context);
  if (!ended) return RunOutcome::NoDialog;
  if (mode == PaneMode::Sign) {
    if (*ended == ui::kIdOk && !state.resultSummary.empty())
      ui::MessageBox(ui::ActiveWindow(), state.resultSummary, kStatisticsCaption, ui::kMbIconInformation);
    MarkFailedRows();
  }
  return RunOutcome::DialogEnded;
}

void BatchPaneWindow::MarkFailedRows() {
  for (const int row : FailedItemList()) list_->SetItemState(row, ui::kLvisDropHilited, ui::kLvisDropHilited);
}

}  // namespace sealrun::workbench
