#include "seal/KeyPin.h"

#include "seal/AutomationObject.h"
#include "seal/AutomationValues.h"
#include "seal/ComponentIds.h"
#include "seal/SealTrace.h"

namespace sealrun::seal {

using namespace platform::com;

int16_t VerifyKeyPin(std::u16string_view pin) {
  const AutomationObject key = AutomationObject::Create(kKeyObjectClsid);
  if (!key.IsValid()) return kPinNotChecked;
  Variant answer(int32_t{0});
  if (const HRESULT hr = key.Call(u"VerifyPin", {Variant(pin)}, answer); FAILED(hr)) {
    // A skipped or failed call leaves 0, which would read as "accepted".
    SealTrace(u"VerifyPin 未执行 " + HresultText(hr));
    return kPinNotChecked;
  }
  const auto value = NumberOf(answer);
  if (!value) return kPinNotChecked;
  const int16_t low = LowWord(*value);
  // A refusal code whose low 16 bits happen to be 0 is still a refusal.
  if (low == 0 && *value != 0) return kPinNotChecked;
  return low;
}

int16_t RememberPin(std::u16string_view pin) {
  const AutomationObject key = AutomationObject::Create(kKeyObjectClsid);
  if (!key.IsValid()) return kPinNotChecked;
  Variant answer(int32_t{0});
  if (SUCCEEDED(key.Call(u"WebWritePin", {Variant(pin)}, answer))) key.Call(u"WebAddGlobalPinTag", {}, answer);
  return LowWord(NumberOf(answer).value_or(0));
}

int16_t ForgetPin() {
  const AutomationObject key = AutomationObject::Create(kKeyObjectClsid);
  if (!key.IsValid()) return kPinNotChecked;
  Variant answer(int32_t{0});
  key.Call(u"WebDelGlobalPinTag", {}, answer);
  return LowWord(NumberOf(answer).value_or(0));
}

std::u16string RecallPin() {
  const AutomationObject key = AutomationObject::Create(kKeyObjectClsid);
  if (!key.IsValid()) return {};
  Variant exists(int32_t{0});
  key.Call(u"WebExistsGlobalPinTag", {}, exists);
  if (LowWord(NumberOf(exists).value_or(0)) == 0) return {};
  Variant pin;
  key.Call(u"WebReadPin", {}, pin);
  return TextOf(pin);
}

}  // namespace sealrun::seal
