#pragma once
// PEM armour: "-----BEGIN label-----", Base64 lines, "-----END label-----".
#include <optional>
#include <string>
#include <string_view>

#include "platform/crypto/Bytes.h"

namespace sealrun::platform::crypto {

struct PemBlock {
  std::string label;  // "CERTIFICATE", "PRIVATE KEY", ...
  Bytes der;
};

// The first armoured block of the text whose label is accepted by `wanted` (all labels when empty).
// Header lines ("Proc-Type: ...") and blank lines inside the block are skipped, whitespace in the
// Base64 is ignored. nullopt when there is no such block or its Base64 is broken.
std::optional<PemBlock> FindPemBlock(std::string_view text, std::string_view wanted = {});

bool HasPemArmour(std::string_view text);

// Standard Base64 (RFC 4648 alphabet) read strictly apart from whitespace: padding only at the end, no stray
// symbols. nullopt for anything else.
std::optional<Bytes> DecodeBase64(std::string_view text);

// PEM text of DER bytes, 64 characters a line, each line ended by "\n".
std::string EncodePem(std::string_view label, ByteView der);

}  // namespace sealrun::platform::crypto
