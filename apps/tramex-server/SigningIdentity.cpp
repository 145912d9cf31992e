#include "apps/tramex-server/SigningIdentity.h"

#include "platform/crypto/KeyStore.h"
#include "platform/crypto/PemArmour.h"
#include "platform/crypto/TokenKey.h"
#include "platform/fs/Files.h"

namespace sealrun::tramex {
namespace {

namespace crypto = platform::crypto;

crypto::Error Failure(crypto::ErrorCode code, std::string message) { return crypto::Error{code, std::move(message)}; }

// The certificate --cert names (PEM or DER).
crypto::Result<crypto::Certificate> ReadCertificateFile(const std::string& certFile) {
  const std::optional<std::string> bytes = platform::fs::ReadFile(certFile);
  if (!bytes) return Failure(crypto::ErrorCode::NotFound, "cannot read " + certFile);
  crypto::Result<crypto::Certificate> read = crypto::Certificate::FromBytes(crypto::AsBytes(*bytes));
  if (!read) return Failure(read.GetError().code, certFile + ": " + read.GetError().message);
  return read;
}

// The key with the certificate it signs for, once both are known to belong together.
crypto::Result<SigningIdentity> MatchedIdentity(const crypto::PrivateKey& key,
                                                const std::optional<crypto::Certificate>& certificate) {
  if (key.Algorithm() != crypto::KeyAlgorithm::Rsa)
    return Failure(crypto::ErrorCode::Unsupported, "the key is not an RSA key");
  if (!certificate || !key.Matches(*certificate))
    return Failure(crypto::ErrorCode::KeyMismatch, "the key does not belong to the certificate");
  return SigningIdentity{*certificate, key};
}

// A key on a PKCS#11 token (an HSM): the password is the token's user PIN, and the key never leaves the
// token. The token holds the key's certificate beside it (same label and id); certFile, when given, names the
// certificate to send instead (a chain's end-entity certificate kept outside the token).
crypto::Result<SigningIdentity> LoadTokenIdentity(const std::string& uriText, const std::string& pin,
                                                  const std::string& certFile) {
  const crypto::Result<crypto::TokenUri> uri = crypto::ParseTokenUri(uriText);
  if (!uri) return Failure(uri.GetError().code, uriText + ": " + uri.GetError().message);
  crypto::TokenResult login = crypto::LoginToTokenKey(*uri, pin);
  if (!login.Ok())
    return Failure(crypto::ErrorCode::NotFound,
                   uriText + ": " + std::string(crypto::TokenFailureText(login.failure)) + " (" + login.detail + ")");
  std::optional<crypto::Certificate> certificate = login.certificate;
  if (!certFile.empty()) {
    crypto::Result<crypto::Certificate> read = ReadCertificateFile(certFile);
    if (!read) return read.GetError();
    certificate = *read;
  }
  return MatchedIdentity(*login.key, certificate);
}

}  // namespace

crypto::Result<SigningIdentity> LoadSigningIdentity(const std::string& keyFile, const std::string& password,
                                                    const std::string& certFile) {
  if (keyFile.rfind("pkcs11:", 0) == 0) return LoadTokenIdentity(keyFile, password, certFile);
  const std::optional<std::string> keyBytes = platform::fs::ReadFile(keyFile);
  if (!keyBytes) return Failure(crypto::ErrorCode::NotFound, "cannot read " + keyFile);

  std::optional<crypto::Certificate> certificate;
  std::optional<crypto::PrivateKey> key;
  if (crypto::HasPemArmour(*keyBytes)) {
    crypto::Result<crypto::PrivateKey> pemKey = crypto::PrivateKey::FromPem(*keyBytes, password);
    if (!pemKey) return Failure(pemKey.GetError().code, keyFile + ": " + pemKey.GetError().message);
    key = *pemKey;
    if (certFile.empty()) {
      crypto::Result<crypto::Certificate> pemCertificate = crypto::Certificate::FromPem(*keyBytes);
      if (!pemCertificate) return Failure(crypto::ErrorCode::NotFound, keyFile + " has no certificate; give --cert");
      certificate = *pemCertificate;
    }
  } else {
    // The key store is where PKCS#12 files are opened; this process has no other use for it.
    crypto::Result<crypto::Certificate> imported =
        crypto::KeyStore::Instance().ImportPkcs12(crypto::AsBytes(*keyBytes), password);
    if (!imported) return Failure(imported.GetError().code, keyFile + ": " + imported.GetError().message);
    std::optional<crypto::PrivateKey> found = crypto::KeyStore::Instance().FindPrivateKey(*imported);
    if (!found) return Failure(crypto::ErrorCode::NotFound, keyFile + " has no private key");
    key = *found;
    if (certFile.empty()) certificate = *imported;
  }
  if (!certFile.empty()) {
    crypto::Result<crypto::Certificate> read = ReadCertificateFile(certFile);
    if (!read) return read.GetError();
    certificate = *read;
  }
  return MatchedIdentity(*key, certificate);
}

}  // namespace sealrun::tramex
