#pragma once
// A seal's fingerprint signed by the certificate library with the signer's key, for the signed message
// stored in a seal annotation.
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/Variant.h"

namespace sealrun::seal {

// The signed message text; empty when the key has no signer to sign with (no certificate library, no key
// container or no certificate in it); nullopt when it has one that did not sign (a wrong PIN, a token pulled
// out). `certificateSlot` (the caller's) receives the library's CertContext; it is left alone when the
// library cannot be created. `provider` may be empty; an empty `keySerial` skips SetParams.
std::optional<std::u16string> SignSealMessage(std::u16string_view data, std::u16string_view pin,
                               platform::com::Variant& certificateSlot, std::u16string_view keySerial,
                               std::u16string_view sealSerial, std::u16string_view provider);

}  // namespace sealrun::seal
