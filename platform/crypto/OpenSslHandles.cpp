#include "platform/crypto/OpenSslHandles.h"

#include <climits>

namespace sealrun::platform::crypto {

Certificate WrapX509(X509* x509) {
  auto impl = std::make_shared<Certificate::Impl>();
  X509_up_ref(x509);
  impl->x509.reset(x509);
  unsigned char* der = nullptr;
  const int length = i2d_X509(x509, &der);
  if (length > 0) {
    impl->der.assign(der, der + length);
    OPENSSL_free(der);
  }
  return Certificate(std::move(impl));
}

PrivateKey WrapPkey(EVP_PKEY* key, std::shared_ptr<const void> owner) {
  auto impl = std::make_shared<PrivateKey::Impl>();
  impl->owner = std::move(owner);
  EVP_PKEY_up_ref(key);
  impl->key.reset(key);
  return PrivateKey(std::move(impl));
}

std::string TakeOpenSslErrors() {
  std::string text;
  while (const unsigned long code = ERR_get_error()) {
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof buffer);
    if (!text.empty()) text += "; ";
    text += buffer;
  }
  return text;
}

Error OpenSslError(ErrorCode code, std::string_view what) {
  std::string message(what);
  const std::string details = TakeOpenSslErrors();
  if (!details.empty()) message += " (" + details + ")";
  return Error{code, std::move(message)};
}

const EVP_MD* DigestMd(DigestAlgorithm algorithm) {
  return algorithm == DigestAlgorithm::Sha1 ? EVP_sha1() : EVP_sha256();
}

BioPtr MemoryBio(ByteView bytes) {
  // A memory BIO takes an int length; larger inputs are not certificates, keys or CMS blobs.
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return nullptr;
  static const std::uint8_t kEmpty = 0;
  const void* data = bytes.empty() ? &kEmpty : bytes.data();
  return BioPtr(BIO_new_mem_buf(data, static_cast<int>(bytes.size())));
}

Bytes BioBytes(BIO* bio) {
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  if (length <= 0 || data == nullptr) return {};
  return Bytes(reinterpret_cast<std::uint8_t*>(data), reinterpret_cast<std::uint8_t*>(data) + length);
}

}  // namespace sealrun::platform::crypto
