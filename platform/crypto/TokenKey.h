#pragma once
// Keys on PKCS#11 tokens: smart cards, USB tokens and hardware security modules, reached through the
// token's module (libp11 over the module's PKCS#11 interface). The private key never leaves the token:
// a PrivateKey found here signs by asking the token, for as long as the token stays logged in. The PIN is
// the token's own, and the token counts wrong ones.
#include <optional>
#include <string>
#include <string_view>

#include "platform/crypto/Certificate.h"
#include "platform/crypto/PrivateKey.h"
#include "platform/crypto/TokenUri.h"

namespace sealrun::platform::crypto {

enum class TokenFailure {
  None,
  NoModule,       // the module is missing, untrusted (writable by others) or does not load
  NoToken,        // no token the URI names is present
  NoKey,          // no private key (or more than one, unnamed) on the token
  NoCertificate,  // no certificate belongs to the key
  WrongPin,       // the token refused the PIN, and counted it
  PinLocked,      // the token checks no PIN any more (too many wrong ones)
  TokenRemoved,   // the token went away during the call
  Failed,
};

// The token's account of its user PIN, as it reports it after the call.
struct TokenPinState {
  bool countLow = false;  // a wrong PIN has been entered since the last right one
  bool finalTry = false;  // one more wrong PIN locks it
  bool locked = false;
};

struct TokenResult {
  TokenFailure failure = TokenFailure::Failed;
  std::string detail;  // for traces
  TokenPinState pin;
  std::optional<Certificate> certificate;
  std::optional<PrivateKey> key;  // set by LoginToTokenKey only

  bool Ok() const { return failure == TokenFailure::None; }
};

// The certificate of the key the URI names, read without the PIN (certificates are public objects).
TokenResult ReadTokenCertificate(const TokenUri& uri);

// Logs in to the token with the PIN and finds the key and its certificate. A PIN other than the one that
// logged the token in lately is checked by the token afresh (a wrong one logs it out, so keys found
// earlier sign no more); the same PIN within a minute is not sent again. An empty PIN is refused without
// reaching the token.
TokenResult LoginToTokenKey(const TokenUri& uri, std::string_view pin);

// Text for a failure, for traces and messages.
std::string_view TokenFailureText(TokenFailure failure);

}  // namespace sealrun::platform::crypto
