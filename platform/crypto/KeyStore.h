#pragma once
// The process-wide private-key store: certificates with their private keys, as the certificate store
// of the operating system holds them. Signing finds its key here by certificate.
#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/crypto/Bytes.h"
#include "platform/crypto/Certificate.h"
#include "platform/crypto/PrivateKey.h"
#include "platform/crypto/Result.h"

namespace sealrun::platform::crypto {

class KeyStore {
 public:
  static KeyStore& Instance();

  // Reads a PKCS#12 (PFX) file and registers its certificate with its private key; returns that
  // certificate. The password is UTF-8 text; an empty password also tries the "no password" form.
  // A wrong password gives ErrorCode::WrongPassword and registers nothing. A file without a key or
  // without the key's certificate gives ErrorCode::NotFound. Importing the same certificate again
  // replaces its entry.
  Result<Certificate> ImportPkcs12(ByteView pkcs12, std::string_view password);

  // Registers a certificate with its key; KeyMismatch when the key is not the certificate's.
  Status Add(const Certificate& certificate, const PrivateKey& key);

  // The key registered for this certificate: the entry with the same DER bytes, else an entry whose
  // certificate carries the same public key.
  std::optional<PrivateKey> FindPrivateKey(const Certificate& certificate) const;
  // A registered certificate by the SHA-1 thumbprint of its DER bytes.
  std::optional<Certificate> FindByThumbprint(ByteView sha1) const;

  // Removes the entry with these DER bytes; false when there was none.
  bool Remove(const Certificate& certificate);
  void Clear();

  std::vector<Certificate> Certificates() const;
  std::size_t Size() const;

  KeyStore();
  ~KeyStore();
  KeyStore(const KeyStore&) = delete;
  KeyStore& operator=(const KeyStore&) = delete;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sealrun::platform::crypto
