#pragma once
// The signer keys the library unlocked lately. Opening a PKCS#12 file runs its key derivation twice (MAC
// and key bag), which costs more than the signature itself; a batch signs one message per document with
// the same key and PIN, so the key unlocked for the first document serves the next ones. An entry is
// found only by the same file bytes and the same PIN (both compared by SHA-256 digest, never stored in
// clear), and is dropped once a minute has passed without use, as a card logs out when left alone.
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string_view>

#include "components/certlib/OpenSslHolders.h"

namespace sealrun::components::certlib {

struct UnlockedKey {
  EvpPkeyHolder key;
  X509StackHolder chain;  // further certificates of the file; may be null
};

// The key unlocked from exactly these file bytes with exactly this PIN, or null.
std::shared_ptr<const UnlockedKey> FindUnlockedKey(std::string_view fileBytes, std::string_view pin);
// Remembers a key just unlocked from these bytes with this PIN, in place of any earlier one.
void RememberUnlockedKey(std::string_view fileBytes, std::string_view pin, std::shared_ptr<const UnlockedKey> key);
// Forgets every key (when the module unloads, and for tests).
void ForgetUnlockedKeys();

}  // namespace sealrun::components::certlib
