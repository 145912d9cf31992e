#pragma once
// The server's signing key and certificate.
#include <string>

#include "platform/crypto/Certificate.h"
#include "platform/crypto/PrivateKey.h"
#include "platform/crypto/Result.h"

namespace sealrun::tramex {

struct SigningIdentity {
  platform::crypto::Certificate certificate;
  platform::crypto::PrivateKey key;
};

// A PKCS#12 file, or a PEM file with the private key (and the certificate, unless certFile names it). The
// key must be RSA (the signatures are PKCS#1 v1.5) and belong to the certificate.
platform::crypto::Result<SigningIdentity> LoadSigningIdentity(const std::string& keyFile, const std::string& password,
                                                              const std::string& certFile = {});

}  // namespace sealrun::tramex
