#pragma once
// The terminal backend of the front end with every message box and notice passed through TerminalSafeLines
// first: a message may name a file (an export that cannot be written, a settings file replaced), and a
// file name can hold anything.
#include <string>

#include "platform/ui/TerminalBackend.h"

namespace sealrun::apps {

class SafeTerminalBackend final : public platform::ui::TerminalBackend {
 public:
  int ShowMessageBox(const platform::ui::MessageBoxRequest& request) override;
  void ShowNotice(const std::u16string& text) override;
};

}  // namespace sealrun::apps
