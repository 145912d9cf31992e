#include "seal/PinFlow.h"

#include "platform/ui/Backend.h"
#include "platform/ui/Messages.h"
#include "platform/ui/Window.h"
#include "seal/KeyPin.h"

namespace sealrun::seal {

bool AcceptPinForRun(std::u16string_view pin, bool rememberBoxTicked) {
  if (VerifyKeyPin(pin) != 0) {
    platform::ui::MessageBox(platform::ui::ActiveWindow(), kWrongPinMessage, u"提示",
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
