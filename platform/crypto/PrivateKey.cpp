#include "platform/crypto/PrivateKey.h"

#include <climits>
#include <cstring>

#include <openssl/pem.h>

#include "platform/crypto/OpenSslHandles.h"

namespace sealrun::platform::crypto {
namespace {

// Hands the given password to OpenSSL; never prompts on a terminal.
int PasswordCallback(char* buffer, int size, int /*writing*/, void* userData) {
  const auto* password = static_cast<const std::string*>(userData);
  if (password == nullptr || password->empty() || password->size() > static_cast<std::size_t>(size)) return 0;
  std::memcpy(buffer, password->data(), password->size());
  return static_cast<int>(password->size());
}

}  // namespace

PrivateKey::PrivateKey(std::shared_ptr<const Impl> impl) : impl_(std::move(impl)) {}

Result<PrivateKey> PrivateKey::FromPem(std::string_view pem, std::string_view password) {
  BioPtr bio = MemoryBio(AsBytes(pem));
  if (!bio) return Error{ErrorCode::InvalidInput, "key text too large"};
  std::string passwordCopy(password);
  EvpPkeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, PasswordCallback, &passwordCopy));
  OPENSSL_cleanse(passwordCopy.data(), passwordCopy.size());
  if (!key) return OpenSslError(ErrorCode::InvalidInput, "not a readable PEM private key");
  auto impl = std::make_shared<Impl>();
  impl->key = std::move(key);
  return PrivateKey(std::move(impl));
}

Result<PrivateKey> PrivateKey::FromDer(ByteView der) {
  if (der.empty() || der.size() > static_cast<std::size_t>(LONG_MAX)) {
    return Error{ErrorCode::InvalidInput, "not a DER private key"};
  }
  const unsigned char* cursor = der.data();
  EvpPkeyPtr key(d2i_AutoPrivateKey(nullptr, &cursor, static_cast<long>(der.size())));
  if (!key) return OpenSslError(ErrorCode::InvalidInput, "not a DER private key");
  auto impl = std::make_shared<Impl>();
  impl->key = std::move(key);
  return PrivateKey(std::move(impl));
}

std::string PrivateKey::ToPem() const {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_PKCS8PrivateKey(bio.get(), impl_->key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    ERR_clear_error();
    return {};
  }
  const Bytes bytes = BioBytes(bio.get());
  return std::string(AsChars(bytes));
}

KeyAlgorithm PrivateKey::Algorithm() const {
  switch (EVP_PKEY_get_base_id(impl_->key.get())) {
    case EVP_PKEY_RSA: return KeyAlgorithm::Rsa;
    case EVP_PKEY_EC: return KeyAlgorithm::Ec;
    default: return KeyAlgorithm::Other;
  }
}

int PrivateKey::Bits() const { return EVP_PKEY_get_bits(impl_->key.get()); }

bool PrivateKey::Matches(const Certificate& certificate) const {
  const EVP_PKEY* publicKey = X509_get0_pubkey(certificate.GetImpl().x509.get());
  const bool same = publicKey != nullptr && EVP_PKEY_eq(publicKey, impl_->key.get()) == 1;
  ERR_clear_error();
  return same;
}

}  // namespace sealrun::platform::crypto
