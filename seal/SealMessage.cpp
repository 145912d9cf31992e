#include "seal/SealMessage.h"

#include "seal/AutomationObject.h"
#include "seal/AutomationValues.h"
#include "seal/ComponentIds.h"

namespace sealrun::seal {

using namespace platform::com;

std::u16string SignSealMessage(std::u16string_view data, std::u16string_view pin, Variant& certificateSlot,
                               std::u16string_view keySerial, std::u16string_view sealSerial,
                               std::u16string_view provider) {
  const AutomationObject library = AutomationObject::Create(kCertLibraryClsid);
  if (!library.IsValid()) return {};
  if (!provider.empty()) library.Put(u"CSPName", Variant(provider));
  if (!keySerial.empty()) {
    const Variant empty;
    library.Call(u"SetParams", {Variant(keySerial), Variant(sealSerial), empty, empty, empty, empty, empty, empty,
                                empty, empty, empty, Variant(int32_t{0})});
  }
  library.Put(u"CardPin", Variant(pin));
  library.Call(u"GetContainer");
  library.Get(u"CertContext", certificateSlot);
  library.Call(u"GetCertificate", {certificateSlot});

  Variant signedFlag(int32_t{0});
  library.Call(u"CrySignMessage", {Variant(data), Variant(static_cast<int32_t>(data.size()))}, signedFlag);
  if (LowWord(NumberOf(signedFlag).value_or(0)) == 0) return {};
  library.Get(u"CertContext", certificateSlot);
  Variant message;
  library.Get(u"SignMessage", message);
  return TextOf(message);
}

}  // namespace sealrun::seal
