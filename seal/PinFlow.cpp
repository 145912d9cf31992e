#include "seal/PinFlow.h"

#include "platform/ui/Backend.h"
#include "platform/ui/Messages.h"
#include "platform/ui/Window.h"
#include "seal/KeyPin.h"

namespace sealrun::seal {

bool AcceptPinForRun(std::u16string_view pin, bool rememberBoxTicked) {
  if (const int16_t answer = VerifyKeyPin(pin); answer != 0) {
    platform::ui::MessageBox(platform::ui::ActiveWindow(), answer == kKeyLocked ? kKeyLockedMessage : kWrongPinMessage,
                             u"提示",
                             platform::ui::kMbIconInformation);
    return false;
  }
  if (rememberBoxTicked)
    RememberPin(pin);
  else
    ForgetPin();
  return true;
}

}  // namespace sealrun::seal
