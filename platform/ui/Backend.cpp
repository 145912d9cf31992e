#include "platform/ui/Backend.h"

#include "platform/ui/HeadlessBackend.h"

namespace sealrun::platform::ui {
namespace {

std::unique_ptr<Backend>& Slot() {
  static std::unique_ptr<Backend> backend = std::make_unique<HeadlessBackend>();
  return backend;
}

}  // namespace

Backend& CurrentBackend() { return *Slot(); }

std::unique_ptr<Backend> InstallBackend(std::unique_ptr<Backend> backend) {
  if (!backend) backend = std::make_unique<HeadlessBackend>();
  std::swap(Slot(), backend);
  return backend;
}

int MessageBox(const Window* owner, std::u16string text, std::u16string caption, uint32_t style) {
  return CurrentBackend().ShowMessageBox({owner ? owner->Handle() : 0, std::move(text), std::move(caption), style});
}

std::optional<OpenFileAnswer> GetOpenFileName(const OpenFileRequest& request) {
  auto answer = CurrentBackend().ShowOpenFileDialog(request);
  if (!answer || answer->fileNames.empty()) return std::nullopt;
  // A single selection comes back as one full path; several as the directory and the names, each ended
  // by a terminator, with one more at the end.
  size_t needed = 0;
  if (answer->fileNames.size() == 1) {
    needed = answer->directory.size() + 1 + answer->fileNames.front().size() + 1;
  } else {
    needed = answer->directory.size() + 1;
    for (const auto& name : answer->fileNames) needed += name.size() + 1;
    needed += 1;
  }
  if (needed > request.bufferUnits) return std::nullopt;
  return answer;
}

std::optional<std::u16string> GetSaveFileName(const SaveFileRequest& request) {
  return CurrentBackend().ShowSaveFileDialog(request);
}

void Notify(std::u16string text) { CurrentBackend().ShowNotice(text); }

}  // namespace sealrun::platform::ui
