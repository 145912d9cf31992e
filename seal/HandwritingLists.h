#pragma once
// The text forms the handwriting component and the settings file use for the pen-width list and the list
// of texts often written: in the file an entry ends where "___" stands; the component gets and gives
// Base64 of the lines separated by CR LF, in MIME lines of 76 symbols.
#include <cstdint>
#include <string>
#include <string_view>

namespace sealrun::seal {

// "___" becomes CR LF; the UTF-8 bytes are Base64-encoded (standard alphabet, "=" pad) with a CR LF after
// every 76 symbols but the last line's.
std::u16string EncodeHandwritingList(std::u16string_view listText);

// Which bytes the component's answer stands for.
enum class ListBytes {
  Ansi,  // the thread's ANSI code page, unless the bytes are valid UTF-8 (as the component echoes them)
  Utf8,
};
// The component's Base64 text decoded (line breaks skipped) and read as `bytes` say; CR LF becomes "___".
std::u16string DecodeHandwritingList(std::u16string_view base64, ListBytes bytes);

// The prefix of the component's Language property for a user-interface language identifier: "GBC_" for
// 2052, "GBB_" for 1028 and 3076, "ENG_" for 1033, else empty.
std::u16string_view HandwritingLanguagePrefix(int32_t languageId);

}  // namespace sealrun::seal
