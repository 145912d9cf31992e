#include "components/certlib/MessageSigner.h"
#include "platform/crypto/Cms.h"
#include "platform/crypto/TokenKey.h"
#include "platform/fs/DebugTrace.h"

namespace sealrun::components::certlib {
namespace {

using platform::crypto::TokenFailure;

SignFailure SignFailureOf(TokenFailure failure) {
  switch (failure) {
    case TokenFailure::WrongPin: return SignFailure::WrongPin;
    case TokenFailure::PinLocked: return SignFailure::KeyLocked;
    case TokenFailure::NoModule:
    case TokenFailure::NoToken:
    case TokenFailure::NoKey:
    case TokenFailure::NoCertificate:
    case TokenFailure::TokenRemoved: return SignFailure::NoKeyFile;
    case TokenFailure::None:
    case TokenFailure::Failed: break;
  }
  return SignFailure::SigningFailed;
}

SignedMessage Failed(SignFailure failure) {
  SignedMessage message;
  message.failure = failure;
  return message;
}

}  // namespace

SignedMessage SignAttachedOnToken(const std::string& tokenUri, std::string_view pin,
                                  const platform::crypto::Certificate& signer, platform::crypto::ByteView data) {
  const auto uri = platform::crypto::ParseTokenUri(tokenUri);
  if (!uri) return Failed(SignFailure::NoKeyFile);
  const platform::crypto::TokenResult login = platform::crypto::LoginToTokenKey(*uri, pin);
  if (!login.Ok()) {
    platform::fs::DebugTrace("CertLibrary: " + std::string(platform::crypto::TokenFailureText(login.failure)));
    return Failed(SignFailureOf(login.failure));
  }
  if (!login.key->Matches(signer)) return Failed(SignFailure::CertificateMismatch);
  auto der = platform::crypto::CmsSignAttached(signer, *login.key, data);
  if (!der) {
    // A token pulled out between the login and the signature ends here.
    platform::fs::DebugTrace("CertLibrary: the token did not sign: " + der.GetError().message);
    return Failed(SignFailure::SigningFailed);
  }
  SignedMessage message;
  message.der = std::move(*der);
  return message;
}

}  // namespace sealrun::components::certlib
