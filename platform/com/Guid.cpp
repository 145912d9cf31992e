#include "platform/com/Guid.h"

#include <cstdio>

#include "platform/text/Utf.h"

namespace sealrun::platform::com {
namespace {

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads `digits` hex digits at text[at].
bool ReadHex(std::u16string_view text, size_t at, size_t digits, uint64_t& value) {
  value = 0;
  for (size_t i = 0; i < digits; ++i) {
    const int v = HexValue(text[at + i]);
    if (v < 0) return false;
    value = (value << 4) | static_cast<uint64_t>(v);
  }
  return true;
}

}  // namespace

std::optional<GUID> ParseGuid(std::u16string_view text) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text.front() != u'{' || text.back() != u'}') return std::nullopt;
  if (text[9] != u'-' || text[14] != u'-' || text[19] != u'-' || text[24] != u'-') return std::nullopt;
  GUID guid{};
  uint64_t value = 0;
  if (!ReadHex(text, 1, 8, value)) return std::nullopt;
  guid.Data1 = static_cast<uint32_t>(value);
  if (!ReadHex(text, 10, 4, value)) return std::nullopt;
  guid.Data2 = static_cast<uint16_t>(value);
  if (!ReadHex(text, 15, 4, value)) return std::nullopt;
  guid.Data3 = static_cast<uint16_t>(value);
  static constexpr size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(text, kByteAt[i], 2, value)) return std::nullopt;
    guid.Data4[i] = static_cast<uint8_t>(value);
  }
  return guid;
}

std::optional<GUID> ParseGuid(std::string_view text) { return ParseGuid(text::Utf8ToUtf16(text)); }

std::string FormatGuidUtf8(const GUID& guid) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1,
                guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
                guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return buffer;
}

std::u16string FormatGuid(const GUID& guid) { return text::Widen(FormatGuidUtf8(guid)); }

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int capacity) {
  const std::u16string text = FormatGuid(guid);
  if (buffer == nullptr || capacity < static_cast<int>(text.size()) + 1) return 0;
  text.copy(buffer, text.size());
  buffer[text.size()] = u'\0';
  return static_cast<int>(text.size()) + 1;
}

HRESULT IIDFromString(LPCOLESTR text, IID* iid) {
  if (iid == nullptr) return E_INVALIDARG;
  if (text == nullptr) {
    *iid = IID_NULL;
    return S_OK;
  }
  const auto parsed = ParseGuid(std::u16string_view(text));
  if (!parsed) return E_INVALIDARG;
  *iid = *parsed;
  return S_OK;
}

}  // namespace sealrun::platform::com
