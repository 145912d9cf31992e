#include "apps/sealrun/SafeTerminalBackend.h"

#include "apps/sealrun/TerminalText.h"

namespace sealrun::apps {

int SafeTerminalBackend::ShowMessageBox(const platform::ui::MessageBoxRequest& request) {
  platform::ui::MessageBoxRequest shown = request;
  shown.text = TerminalSafeLines(request.text);
  shown.caption = TerminalSafeLines(request.caption);
  return TerminalBackend::ShowMessageBox(shown);
}

void SafeTerminalBackend::ShowNotice(const std::u16string& text) { TerminalBackend::ShowNotice(TerminalSafeLines(text)); }

}  // namespace sealrun::apps
