#pragma once
// The PIN of a seal key whose signer lives on a PKCS#11 token: the token checks it and counts wrong ones
// (a locked token checks none), and the signer's private key never leaves the token.
#include <cstdint>
#include <string_view>

#include "components/sealkey/SealKeyFolder.h"

namespace sealrun::components::sealkey {

// One of the key's answers (KeyResult): right, wrong, locked, or missing when the token is not there.
// On a right PIN with `registerSigner`, the signer's certificate and its key on the token go to the
// process's key store, where signing finds them.
int32_t CheckTokenPin(const SealKey& key, std::u16string_view pin, bool registerSigner);

}  // namespace sealrun::components::sealkey
