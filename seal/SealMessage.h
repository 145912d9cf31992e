#pragma once
// A seal's fingerprint signed by the certificate library with the signer's key, for the signed message
// stored in a seal annotation.
#include <string>
#include <string_view>

#include "platform/com/Variant.h"

namespace sealrun::seal {

// The signed message text, or empty when nothing was signed (or there is no certificate library).
// `certificateSlot` (the caller's) receives the library's CertContext; it is left alone when the library
// cannot be created. `provider` may be empty; an empty `keySerial` skips SetParams.
std::u16string SignSealMessage(std::u16string_view data, std::u16string_view pin,
                               platform::com::Variant& certificateSlot, std::u16string_view keySerial,
                               std::u16string_view sealSerial, std::u16string_view provider);

}  // namespace sealrun::seal
