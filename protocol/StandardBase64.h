#pragma once
// The standard Base64 that packet values carry inside (signed attributes, signatures, certificates), read
// strictly: a garbled value must not turn into plausible bytes.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace sealrun::protocol {

// The bytes of standard Base64 text; CR and LF are skipped (servers may wrap lines). nullopt for empty text,
// a length that is not a multiple of four after the line breaks, a symbol outside the alphabet, or a pad
// that is not at the end.
std::optional<std::vector<std::uint8_t>> DecodeStandardBase64(std::u16string_view text);

}  // namespace sealrun::protocol
