#include "seal/AutomationValues.h"

namespace sealrun::seal {

using namespace platform::com;

std::optional<int32_t> NumberOf(const Variant& value) {
  if (value.Type() == VT_EMPTY) return std::nullopt;
  return value.AsInt();
}

int16_t LowWord(int32_t value) { return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFFu)); }

std::u16string TextOf(const Variant& value) {
  const VARIANT& raw = *value.Get();
  if (raw.vt == VT_BSTR) return std::u16string(raw.bstrVal ? raw.bstrVal : u"", SysStringLen(raw.bstrVal));
  if (raw.vt == VT_EMPTY || raw.vt == VT_NULL) return {};
  return value.AsString().value_or(std::u16string());
}

std::span<const uint8_t> SealPictureBytes(const VARIANT& picture) {
  if (picture.vt != VT_BSTR || picture.bstrVal == nullptr) return {};
  return {reinterpret_cast<const uint8_t*>(picture.bstrVal), SysStringLen(picture.bstrVal)};
}

}  // namespace sealrun::seal
