#pragma once
// The backend of the terminal front end: the user's answers are scripted from the command line (as in
// the headless backend); message boxes are printed as "[caption] text", and progress bars are drawn on
// standard error when it is a terminal (count and time left), or written as plain lines otherwise.
#include <chrono>
#include <cstdio>

#include "platform/ui/HeadlessBackend.h"

namespace sealrun::platform::ui {

class TerminalBackend : public HeadlessBackend {
 public:
  // `out` receives message boxes, `progress` the progress display (stdout and stderr by default).
  explicit TerminalBackend(std::FILE* out = stdout, std::FILE* progress = stderr);

  int ShowMessageBox(const MessageBoxRequest& request) override;
  void ProgressChanged(const ProgressBar& bar) override;
  // "sealrun: text" on the progress stream (standard error).
  void ShowNotice(const std::u16string& text) override;

 private:
  void EndProgressLine();

  std::FILE* out_;
  std::FILE* progress_;
  bool progressIsTerminal_;
  bool progressLineOpen_ = false;
  int lastPlainPercent_ = -1;
  int lastPlainDone_ = -1;
  int lastPosition_ = 0;
  std::chrono::steady_clock::time_point started_;
  WindowHandle bar_ = 0;
};

}  // namespace sealrun::platform::ui
