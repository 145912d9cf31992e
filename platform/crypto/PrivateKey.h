#pragma once
// A private key held in memory (RSA or EC), cheap to copy (copies share the key).
#include <memory>
#include <string>
#include <string_view>

#include "platform/crypto/Bytes.h"
#include "platform/crypto/Certificate.h"
#include "platform/crypto/Result.h"

namespace sealrun::platform::crypto {

class PrivateKey {
 public:
  // PEM ("PRIVATE KEY", "ENCRYPTED PRIVATE KEY", "RSA PRIVATE KEY", ...); the password is used for
  // encrypted keys only.
  static Result<PrivateKey> FromPem(std::string_view pem, std::string_view password = {});
  // Unencrypted PKCS#8 or traditional DER.
  static Result<PrivateKey> FromDer(ByteView der);

  // Unencrypted PKCS#8 PEM, for tests and tools.
  std::string ToPem() const;

  KeyAlgorithm Algorithm() const;
  int Bits() const;
  // True when the certificate carries this key's public half.
  bool Matches(const Certificate& certificate) const;

  class Impl;
  const Impl& GetImpl() const { return *impl_; }
  explicit PrivateKey(std::shared_ptr<const Impl> impl);

 private:
  std::shared_ptr<const Impl> impl_;
};

}  // namespace sealrun::platform::crypto
