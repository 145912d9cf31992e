#include "seal/SealMessage.h"

#include "seal/AutomationObject.h"
#include "seal/AutomationValues.h"
#include "seal/ComponentIds.h"

namespace sealrun::seal {

using namespace platform::com;

std::optional<std::u16string> SignSealMessage(std::u16string_view data, std::u16string_view pin, Variant& certificateSlot,
                               std::u16string_view keySerial, std::u16string_view sealSerial,
                               std::u16string_view provider) {
  const AutomationObject library = AutomationObject::Create(kCertLibraryClsid);
  if (!library.IsValid()) return std::u16string();
  if (!provider.empty()) library.Put(u"CSPName", Variant(provider));
  if (!keySerial.empty()) {
    const Variant empty;
    library.Call(u"SetParams", {Variant(keySerial), Variant(sealSerial), empty, empty, empty, empty, empty, empty,
                                empty, empty, empty, Variant(int32_t{0})});
  }
  library.Put(u"CardPin", Variant(pin));
  Variant opened(int32_t{0});
  library.Call(u"GetContainer", {}, opened);
  library.Get(u"CertContext", certificateSlot);
  // No container or no certificate in it: the key has no signer, and the seal carries no signed message.
  if (LowWord(NumberOf(opened).value_or(0)) == 0 || TextOf(certificateSlot).empty()) return std::u16string();
  library.Call(u"GetCertificate", {certificateSlot});

  Variant signedFlag(int32_t{0});
  library.Call(u"CrySignMessage", {Variant(data), Variant(static_cast<int32_t>(data.size()))}, signedFlag);
  if (LowWord(NumberOf(signedFlag).value_or(0)) == 0) return std::nullopt;
  library.Get(u"CertContext", certificateSlot);
  Variant message;
  library.Get(u"SignMessage", message);
  return TextOf(message);
}

}  // namespace sealrun::seal
