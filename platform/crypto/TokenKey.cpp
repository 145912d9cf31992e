#include "platform/crypto/TokenKey.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>

#include "platform/crypto/OpenSslHandles.h"
#include "platform/crypto/TokenModules.h"

namespace sealrun::platform::crypto {
namespace {

// PKCS#11 return values the answers depend on (libp11 queues them as the reason of its CKR errors).
constexpr unsigned long kPinIncorrect = 0xA0;
constexpr unsigned long kPinInvalid = 0xA1;
constexpr unsigned long kPinLenRange = 0xA2;
constexpr unsigned long kPinLocked = 0xA4;
constexpr unsigned long kDeviceRemoved = 0x32;
constexpr unsigned long kSessionClosed = 0xB0;
constexpr unsigned long kSessionHandleInvalid = 0xB3;
constexpr unsigned long kTokenNotPresent = 0xE0;

// The PKCS#11 return value libp11 queued last, or 0; the queue is emptied.
unsigned long TakeTokenError() {
  const int tokenLibrary = ERR_get_CKR_code();
  unsigned long code = 0;
  for (unsigned long error = ERR_get_error(); error != 0; error = ERR_get_error())
    if (ERR_GET_LIB(error) == tokenLibrary) code = static_cast<unsigned long>(ERR_GET_REASON(error));
  return code;
}

TokenResult Failure(TokenFailure failure, std::string detail) {
  ERR_clear_error();
  TokenResult result;
  result.failure = failure;
  result.detail = std::move(detail);
  return result;
}

TokenFailure FailureOfCode(unsigned long code, TokenFailure otherwise) {
  switch (code) {
    case kPinIncorrect:
    case kPinInvalid:
    case kPinLenRange: return TokenFailure::WrongPin;
    case kPinLocked: return TokenFailure::PinLocked;
    case kDeviceRemoved:
    case kSessionClosed:
    case kSessionHandleInvalid:
    case kTokenNotPresent: return TokenFailure::TokenRemoved;
    default: return otherwise;
  }
}

bool Matches(const char* have, const std::string& wanted) {
  return wanted.empty() || (have != nullptr && wanted == have);
}

bool SameId(const unsigned char* id, std::size_t length, const Bytes& wanted) {
  return wanted.empty() || (length == wanted.size() && std::equal(wanted.begin(), wanted.end(), id));
}

PKCS11_SLOT* FindSlot(const TokenModule& module, const TokenUri& uri) {
  for (unsigned int i = 0; i < module.SlotCount(); ++i) {
    PKCS11_SLOT* slot = module.Slots() + i;
    const PKCS11_TOKEN* token = slot->token;
    if (token == nullptr || !token->initialized) continue;
    if (Matches(token->label, uri.token) && Matches(token->serialnr, uri.serial) &&
        Matches(token->manufacturer, uri.manufacturer) && Matches(token->model, uri.model))
      return slot;
  }
  return nullptr;
}

// The one object the URI names among `count` objects: by label and id, or the only one when it names none.
template <typename Object>
Object* Named(Object* objects, unsigned int count, const TokenUri& uri, bool& ambiguous) {
  Object* found = nullptr;
  ambiguous = false;
  for (unsigned int i = 0; i < count; ++i) {
    Object* object = objects + i;
    if (!Matches(object->label, uri.object) || !SameId(object->id, object->id_len, uri.id)) continue;
    if (found != nullptr) {
      ambiguous = true;
      return nullptr;
    }
    found = object;
  }
  return found;
}

// The module, and the slot of the token the URI names, with the module's lock held by `lock`.
struct OpenToken {
  std::shared_ptr<TokenModule> module;
  std::unique_lock<std::mutex> lock;
  PKCS11_SLOT* slot = nullptr;
};

std::optional<OpenToken> FindToken(const TokenUri& uri, TokenResult& failure) {
  auto module = TokenModule::Get(uri.modulePath);
  if (!module) {
    failure = Failure(TokenFailure::NoModule, module.GetError().message);
    return std::nullopt;
  }
  OpenToken open{*module, std::unique_lock((*module)->Lock()), nullptr};
  open.slot = FindSlot(*open.module, uri);
  if (open.slot == nullptr) {
    failure = Failure(TokenFailure::NoToken, uri.token.empty() ? "no token is present"
                                                               : "the token \"" + uri.token + "\" is not present");
    return std::nullopt;
  }
  return open;
}

// The certificate on the token that belongs with the key (same id), or the one the URI names.
std::optional<Certificate> CertificateOf(PKCS11_SLOT* slot, PKCS11_KEY* key, const TokenUri& uri) {
  if (key != nullptr) {
    if (PKCS11_CERT* certificate = PKCS11_find_certificate(key); certificate != nullptr && certificate->x509 != nullptr)
      return WrapX509(certificate->x509);
  }
  PKCS11_CERT* certificates = nullptr;
  unsigned int count = 0;
  if (PKCS11_enumerate_certs(slot->token, &certificates, &count) != 0) return std::nullopt;
  bool ambiguous = false;
  PKCS11_CERT* named = Named(certificates, count, uri, ambiguous);
  if (named == nullptr || named->x509 == nullptr) return std::nullopt;
  return WrapX509(named->x509);
}

}  // namespace

std::string_view TokenFailureText(TokenFailure failure) {
  switch (failure) {
    case TokenFailure::None: return "no failure";
    case TokenFailure::NoModule: return "the token's module cannot be used";
    case TokenFailure::NoToken: return "the token is not present";
    case TokenFailure::NoKey: return "the token holds no such key";
    case TokenFailure::NoCertificate: return "the token holds no certificate for the key";
    case TokenFailure::WrongPin: return "the token refused the PIN";
    case TokenFailure::PinLocked: return "the token's PIN is locked";
    case TokenFailure::TokenRemoved: return "the token was removed";
    case TokenFailure::Failed: return "the token failed";
  }
  return "the token failed";
}

TokenResult ReadTokenCertificate(const TokenUri& uri) {
  TokenResult failure;
  auto open = FindToken(uri, failure);
  if (!open) return failure;
  auto certificate = CertificateOf(open->slot, nullptr, uri);
  if (!certificate)
    return Failure(FailureOfCode(TakeTokenError(), TokenFailure::NoCertificate), "no certificate on the token");
  TokenResult result;
  result.failure = TokenFailure::None;
  result.pin = open->module->PinState(open->slot).value_or(TokenPinState{});
  result.certificate = std::move(certificate);
  return result;
}

TokenResult LoginToTokenKey(const TokenUri& uri, std::string_view pin) {
  if (pin.empty()) return Failure(TokenFailure::WrongPin, "an empty PIN is not sent to the token");
  TokenResult failure;
  auto open = FindToken(uri, failure);
  if (!open) return failure;
  PKCS11_SLOT* slot = open->slot;
  const std::optional<TokenPinState> before = open->module->PinState(slot);
  if (!before) return Failure(TokenFailure::TokenRemoved, "the token does not answer");
  if (before->locked) return Failure(TokenFailure::PinLocked, "the token reports its PIN locked");

  const std::string keyName = uri.object + '\0' + std::string(uri.id.begin(), uri.id.end());
  if (open->module->LoggedInWith(slot, pin)) {
    if (const TokenModule::KeptKey* kept = open->module->FindKept(keyName)) {
      TokenResult result;
      result.failure = TokenFailure::None;
      result.pin = *before;
      result.certificate = kept->certificate;
      result.key = WrapPkey(kept->key.GetImpl().key.get(), open->module);
      return result;
    }
  } else {
    open->module->ForgetLogin();
    // libp11 takes a second login as done without asking the token: log out first, so this PIN is checked.
    int loggedIn = 0;
    if (PKCS11_is_logged_in(slot, 0, &loggedIn) == 0 && loggedIn) PKCS11_logout(slot);
    ERR_clear_error();
    std::string secret(pin);
    const int login = PKCS11_login(slot, 0, secret.c_str());
    OPENSSL_cleanse(secret.data(), secret.size());
    if (login != 0) {
      TokenResult refused = Failure(FailureOfCode(TakeTokenError(), TokenFailure::Failed), "the token refused the login");
      // The token's flags now tell whether tries are running out.
      refused.pin = open->module->PinState(slot).value_or(TokenPinState{});
      return refused;
    }
    open->module->RememberLogin(slot, pin);
  }

  PKCS11_KEY* keys = nullptr;
  unsigned int count = 0;
  if (PKCS11_enumerate_keys(slot->token, &keys, &count) != 0)
    return Failure(FailureOfCode(TakeTokenError(), TokenFailure::Failed), "the token's keys cannot be listed");
  bool ambiguous = false;
  PKCS11_KEY* key = Named(keys, count, uri, ambiguous);
  if (key == nullptr)
    return Failure(TokenFailure::NoKey, ambiguous ? "the token holds several keys; the URI must name one"
                                                  : "the token holds no key the URI names");
  auto certificate = CertificateOf(slot, key, uri);
  if (!certificate) return Failure(TokenFailure::NoCertificate, "the token holds no certificate for the key");
  EVP_PKEY* handle = PKCS11_get_private_key(key);
  if (handle == nullptr) return Failure(TokenFailure::Failed, "the token's key cannot be used");
  // The key signs through the module: it keeps the module loaded for as long as it lives.
  PrivateKey privateKey = WrapPkey(handle, open->module);
  open->module->Keep({keyName, *certificate, WrapPkey(handle)});
  EVP_PKEY_free(handle);
  if (!privateKey.Matches(*certificate)) {
    open->module->ForgetLogin();
    return Failure(TokenFailure::NoCertificate, "the token's certificate does not belong to its key");
  }

  TokenResult result;
  result.failure = TokenFailure::None;
  result.pin = open->module->PinState(slot).value_or(TokenPinState{});
  result.certificate = std::move(certificate);
  result.key = std::move(privateKey);
  ERR_clear_error();
  return result;
}

}  // namespace sealrun::platform::crypto
