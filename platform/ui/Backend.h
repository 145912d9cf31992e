#pragma once
// What the user sees and answers: message boxes, file dialogs, modal dialogs and progress. A backend
// decides how: the headless one lets tests script the user and records everything shown; the terminal
// one prints to the console for the front end.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Window.h"

namespace sealrun::platform::ui {

class Dialog;
class ProgressBar;

struct MessageBoxRequest {
  WindowHandle owner = 0;
  std::u16string text;
  std::u16string caption;
  uint32_t style = kMbOk;
};

struct FileFilter {
  std::u16string description;  // "PDF文件(*.pdf)"
  std::u16string pattern;      // "*.pdf"
};

struct OpenFileRequest {
  WindowHandle owner = 0;
  std::vector<FileFilter> filters;
  bool multiSelect = false;
  bool fileMustExist = true;
  size_t bufferUnits = 260;  // room for the answer, in UTF-16 units, as the caller's buffer
};

// The directory and the chosen names (one unless several were selected).
struct OpenFileAnswer {
  std::u16string directory;
  std::vector<std::u16string> fileNames;
};

struct SaveFileRequest {
  WindowHandle owner = 0;
  std::vector<FileFilter> filters;
  std::u16string defaultExtension;
  std::u16string initialName;
  bool promptOverwrite = false;
};

class Backend {
 public:
  virtual ~Backend() = default;
  // Returns the button pressed (kIdOk, kIdCancel, kIdYes, kIdNo).
  virtual int ShowMessageBox(const MessageBoxRequest& request) = 0;
  virtual std::optional<OpenFileAnswer> ShowOpenFileDialog(const OpenFileRequest& request) = 0;
  // The full path chosen, or nullopt for Cancel.
  virtual std::optional<std::u16string> ShowSaveFileDialog(const SaveFileRequest& request) = 0;
  // Plays the user of a running modal dialog; returns when the user is done with it.
  virtual void RunModal(Dialog& dialog) = 0;
  virtual void ProgressChanged(const ProgressBar&) {}
  // Something the user should learn once that asks no answer (a settings file that was replaced by its
  // template, a choice that could not be kept). A reader in windows shows it in its status line; the
  // terminal prints it on standard error.
  virtual void ShowNotice(const std::u16string&) {}
};

// The backend in use; until one is installed, a headless backend that answers OK and Cancel.
Backend& CurrentBackend();
// Installs a backend and returns the previous one.
std::unique_ptr<Backend> InstallBackend(std::unique_ptr<Backend> backend);

// Installs a backend for the lifetime of this object.
class ScopedBackend {
 public:
  explicit ScopedBackend(std::unique_ptr<Backend> backend) : previous_(InstallBackend(std::move(backend))) {}
  ~ScopedBackend() { InstallBackend(std::move(previous_)); }
  ScopedBackend(const ScopedBackend&) = delete;
  ScopedBackend& operator=(const ScopedBackend&) = delete;

 private:
  std::unique_ptr<Backend> previous_;
};

// Shows a modal message box owned by `owner` and returns the button pressed.
int MessageBox(const Window* owner, std::u16string text, std::u16string caption, uint32_t style);

// The open-file dialog. nullopt for Cancel, and also when the answer would not fit the caller's buffer
// (the directory, each name and their terminators), as the system refuses such a selection.
std::optional<OpenFileAnswer> GetOpenFileName(const OpenFileRequest& request);
std::optional<std::u16string> GetSaveFileName(const SaveFileRequest& request);

// Tells the user `text` through the backend in use (see Backend::ShowNotice).
void Notify(std::u16string text);

}  // namespace sealrun::platform::ui
