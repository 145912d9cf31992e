#include "platform/ui/TerminalBackend.h"

#include <unistd.h>

#include <string>

#include "platform/text/Utf.h"
#include "platform/ui/Controls.h"

namespace sealrun::platform::ui {
namespace {

std::string Clock(long seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%02ld:%02ld", seconds / 60, seconds % 60);
  return text;
}

}  // namespace

TerminalBackend::TerminalBackend(std::FILE* out, std::FILE* progress)
    : out_(out), progress_(progress), progressIsTerminal_(isatty(fileno(progress)) != 0) {}

int TerminalBackend::ShowMessageBox(const MessageBoxRequest& request) {
  EndProgressLine();
  const int answer = HeadlessBackend::ShowMessageBox(request);
  std::string text = text::Utf16ToUtf8(request.text);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  // Windows line ends in message texts become plain ones.
  std::string plain;
  for (char c : text)
    if (c != '\r') plain.push_back(c);
  std::fprintf(out_, "[%s] %s\n", text::Utf16ToUtf8(request.caption).c_str(), plain.c_str());
  std::fflush(out_);
  return answer;
}

void TerminalBackend::ShowNotice(const std::u16string& text) {
  HeadlessBackend::ShowNotice(text);
  EndProgressLine();
  std::fprintf(progress_, "sealrun: %s\n", text::Utf16ToUtf8(text).c_str());
  std::fflush(progress_);
}

void TerminalBackend::ProgressChanged(const ProgressBar& bar) {
  HeadlessBackend::ProgressChanged(bar);
  const int total = bar.Maximum() - bar.Minimum() + 1;
  const int done = bar.Position() - bar.Minimum() + 1;
  // Another bar, or this one sent back: a new run starts its clock and its lines afresh.
  if (bar.Handle() != bar_ || bar.Position() < lastPosition_) {
    bar_ = bar.Handle();
    started_ = std::chrono::steady_clock::now();
    lastPlainPercent_ = -1;
    lastPlainDone_ = -1;
  }
  lastPosition_ = bar.Position();
  if (total <= 1 || bar.Position() < bar.Minimum()) return;
  const double fraction = static_cast<double>(done) / total;
  const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  const long left = fraction > 0 ? static_cast<long>(elapsed / fraction - elapsed + 0.5) : 0;
  if (progressIsTerminal_) {
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(fraction * kWidth);
    std::string barText(static_cast<size_t>(filled), '#');
    barText.append(static_cast<size_t>(kWidth - filled), '-');
    std::fprintf(progress_, "\r[%s] %d/%d  %s left ", barText.c_str(), done, total, Clock(left).c_str());
    progressLineOpen_ = done < total;
    if (!progressLineOpen_) std::fputc('\n', progress_);
  } else {
    const int percent = static_cast<int>(fraction * 100);
    // A log gets one line per tenth of the run and the last file, each count once.
    if (done != lastPlainDone_ && (percent / 10 != lastPlainPercent_ / 10 || done == total)) {
      lastPlainPercent_ = percent;
      lastPlainDone_ = done;
      std::fprintf(progress_, "progress: %d/%d (%d%%), %s left\n", done, total, percent, Clock(left).c_str());
    }
  }
  std::fflush(progress_);
}

void TerminalBackend::EndProgressLine() {
  if (progressLineOpen_) {
    std::fputc('\n', progress_);
    progressLineOpen_ = false;
  }
}

}  // namespace sealrun::platform::ui
