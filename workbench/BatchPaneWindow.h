#pragma once
// The pane's window: a toolbar of four buttons above the list of files. It fills the list, hands the list
// over to a run through AddinState.fileList, checks what a run needs before its dialog opens, and shows
// the results.
#include <string>

#include "workbench/AddinState.h"
#include "platform/ui/ListView.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/Window.h"

namespace sealrun::workbench {

inline constexpr int kAddFilesCommand = 32773;
inline constexpr int kRunCommand = 32775;
inline constexpr int kClearCommand = 32776;
inline constexpr int kResultsCommand = 32812;
inline constexpr int kToolbarId = 0xE800;
inline constexpr int kFileListId = 1;

inline constexpr char16_t kNoFilesMessage[] = u"请选择要批量操作的文件";
inline constexpr char16_t kOpenTemplateFirst[] = u"请先打开模板文件！";
inline constexpr char16_t kPreStampFirst[] = u"请先进行预盖章！";

// The selection buffer of the add-files dialog, in UTF-16 units.
inline constexpr size_t kAddFilesBufferUnits = 208000;

// Tooltips of the run and results buttons in a mode.
std::u16string RunTooltip(PaneMode mode);
std::u16string ResultsTooltip(PaneMode mode);

// What the run command did.
enum class RunOutcome { NoFiles, NoTemplateDocument, NoPreStamp, CertificateRefused, NoDialog, DialogEnded };

class BatchPaneWindow : public platform::ui::Window {
 public:
  BatchPaneWindow();

  platform::ui::Toolbar* ToolbarControl() const { return toolbar_; }
  platform::ui::ListView* FileList() const { return list_; }

  platform::ui::LResult HandleMessage(uint32_t message, platform::ui::WParam wParam,
                                      platform::ui::LParam lParam) override;

  void AddFiles();
  void Clear();
  void OpenSelected();
  void RefreshForFocus();
  RunOutcome Run();

  // Rows inserted from a path list (the part after the last "\" or "/" as the name).
  static std::u16string FileNameOfPath(std::u16string_view path);

 private:
  platform::ui::LResult HandlePaneMessage(uint32_t message, platform::ui::WParam wParam, platform::ui::LParam lParam);
  void Create();
  void Layout();
  void MarkFailedRows();

  platform::ui::Toolbar* toolbar_ = nullptr;
  platform::ui::ListView* list_ = nullptr;
};

}  // namespace sealrun::workbench
