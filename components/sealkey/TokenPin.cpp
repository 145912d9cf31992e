#include "components/sealkey/TokenPin.h"

#include "components/sealkey/KeyObject.h"
#include "components/sealkey/PinCheck.h"
#include "platform/crypto/KeyStore.h"
#include "platform/crypto/TokenKey.h"
#include "platform/fs/DebugTrace.h"
#include "platform/text/Utf.h"

namespace sealrun::components::sealkey {
namespace {

using platform::crypto::TokenFailure;

void Trace(std::string_view what) { platform::fs::DebugTrace("Sealrun.KeyObject: " + std::string(what)); }

}  // namespace

int32_t CheckTokenPin(const SealKey& key, std::u16string_view pin, bool registerSigner) {
  if (!key.signerToken) return kKeyMissing;
  const auto uri = platform::crypto::ParseTokenUri(*key.signerToken);
  if (!uri) return kKeyMissing;
  std::string utf8 = platform::text::Utf16ToUtf8(pin);
  const platform::crypto::TokenResult login = platform::crypto::LoginToTokenKey(*uri, utf8);
  WipeSecret(utf8);
  switch (login.failure) {
    case TokenFailure::None:
    case TokenFailure::NoKey:
    case TokenFailure::NoCertificate:
      break;
    case TokenFailure::WrongPin:
      Trace(login.pin.finalTry ? "PIN refused by the token; one more wrong PIN locks it" : "PIN refused by the token");
      return login.pin.locked ? kKeyLocked : kKeyWrongPin;
    case TokenFailure::PinLocked:
      Trace("PIN not checked: the token's PIN is locked");
      return kKeyLocked;
    case TokenFailure::NoModule:
    case TokenFailure::NoToken:
    case TokenFailure::TokenRemoved:
    case TokenFailure::Failed:
      Trace(std::string(platform::crypto::TokenFailureText(login.failure)) + ": " + login.detail);
      return kKeyMissing;
  }
  // The PIN was right. As with a soft key whose signer file is missing, a token without the signer's
  // key or certificate still answers for its PIN; only signing will refuse.
  if (!login.Ok()) {
    Trace(std::string(platform::crypto::TokenFailureText(login.failure)) + "; no certificate");
    return kKeyOk;
  }
  if (registerSigner && !platform::crypto::KeyStore::Instance().Add(*login.certificate, *login.key))
    Trace("the token's key does not belong to its certificate; no certificate");
  return kKeyOk;
}

}  // namespace sealrun::components::sealkey
