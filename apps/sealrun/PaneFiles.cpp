#include "apps/sealrun/PaneFiles.h"

#include <string>

#include "platform/fs/Paths.h"
#include "workbench/BatchPaneWindow.h"

namespace sealrun::apps {

namespace fs = std::filesystem;
namespace ui = platform::ui;

ui::ListView* PaneList(platform::host::HostDriver& driver) {
  ui::Window* pane = driver.PaneWindow(kPaneName);
  return pane ? pane->ChildAs<ui::ListView>(workbench::kFileListId) : nullptr;
}

// One answer of the add-files dialog per run of files in one folder, within the dialog's answer buffer
// (the folder, each name and their terminators). The pane puts each answer above its rows, so the
// answers go in from the last and the rows keep the order given.
bool AddFilesToPane(platform::host::HostDriver& driver, ui::HeadlessBackend& user, const std::vector<fs::path>& files) {
  std::vector<ui::OpenFileAnswer> answers;
  size_t units = 0;
  for (const auto& file : files) {
    const fs::path absolute = fs::absolute(file);
    const std::u16string directory = platform::fs::PathToUtf16(absolute.parent_path());
    const std::u16string name = platform::fs::PathToUtf16(absolute.filename());
    if (answers.empty() || answers.back().directory != directory ||
        units + name.size() + 1 >= workbench::kAddFilesBufferUnits) {
      answers.push_back({directory, {}});
      units = directory.size() + 2;
    }
    answers.back().fileNames.push_back(name);
    units += name.size() + 1;
  }
  for (auto answer = answers.rbegin(); answer != answers.rend(); ++answer) {
    user.QueueOpenFileAnswer(*answer);
    if (!driver.PressPaneButton(kPaneName, workbench::kAddFilesCommand)) return false;
  }
  const ui::ListView* list = PaneList(driver);
  return list != nullptr && list->RowCount() == static_cast<int>(files.size());
}

}  // namespace sealrun::apps
