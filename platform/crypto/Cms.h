#pragma once
// Detached CMS SignedData (PKCS#7): signing and verifying data given as byte ranges, such as the two
// ranges of a PDF file around its signature's contents. Data is fed in order through Update, so a
// large file never has to be joined in memory.
#include <ctime>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/crypto/Bytes.h"
#include "platform/crypto/Certificate.h"
#include "platform/crypto/Digest.h"
#include "platform/crypto/PrivateKey.h"
#include "platform/crypto/Result.h"

namespace sealrun::platform::crypto {

struct CmsSignOptions {
  DigestAlgorithm digest = DigestAlgorithm::Sha256;
  // The signing-time attribute; the current time when not given.
  std::optional<std::time_t> signingTime;
  // Further certificates to carry (the issuer chain); the signer's own is always included.
  std::vector<Certificate> extraCertificates;
};

// Signed attributes: content type (data), message digest, signing time. The data is taken as binary
// (no line-end translation). Output is DER.
class CmsSigner {
 public:
  // The key is looked up in the KeyStore by the certificate; NotFound when it is not there.
  static Result<CmsSigner> Create(const Certificate& signer, const CmsSignOptions& options = {});
  static Result<CmsSigner> Create(const Certificate& signer, const PrivateKey& key,
                                  const CmsSignOptions& options = {});

  CmsSigner(CmsSigner&&) noexcept;
  CmsSigner& operator=(CmsSigner&&) noexcept;
  ~CmsSigner();

  void Update(ByteView data);
  // The DER SignedData over everything fed. The signer cannot be used afterwards.
  Result<Bytes> Finish();

 private:
  class Impl;
  explicit CmsSigner(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// One-call forms over a list of ranges.
Result<Bytes> CmsSign(const Certificate& signer, std::span<const ByteView> ranges,
                      const CmsSignOptions& options = {});
Result<Bytes> CmsSign(const Certificate& signer, const PrivateKey& key,
                      std::span<const ByteView> ranges, const CmsSignOptions& options = {});

// An attached SignedData: the data travels inside it (SHA-256, the signing-time attribute, the signer's
// certificate and the `extra` ones). For a signed message that carries what it signs.
Result<Bytes> CmsSignAttached(const Certificate& signer, const PrivateKey& key, ByteView data,
                              std::span<const Certificate> extra = {});

struct CmsVerifyResult {
  // The bytes are a SignedData with at least one signer.
  bool wellFormed = false;
  // The digest of the data equals the signed message digest (for every signer).
  bool digestMatches = false;
  // The signature verifies with the signer certificate's public key (for every signer).
  bool signatureValid = false;
  // The first signer's certificate, when the SignedData carries it.
  std::optional<Certificate> signer;
  // Every certificate the SignedData carries.
  std::vector<Certificate> certificates;
  std::optional<DigestAlgorithm> digest;
  std::optional<std::time_t> signingTime;
  // Why the result is not valid, for traces.
  std::string problem;

  // The data is exactly what was signed, by the holder of the signer certificate's key. Says
  // nothing about whether that certificate is trusted: see VerifyChain.
  bool Valid() const { return wellFormed && digestMatches && signatureValid; }
};

class CmsVerifier {
 public:
  // Never fails: bytes that are not a usable SignedData give a verifier whose Finish reports
  // wellFormed false (Update is then ignored). A signer whose certificate the SignedData does not
  // carry is looked for among `knownCertificates` (a certificate kept beside the message).
  explicit CmsVerifier(ByteView signedDataDer, std::span<const Certificate> knownCertificates = {});
  CmsVerifier(CmsVerifier&&) noexcept;
  CmsVerifier& operator=(CmsVerifier&&) noexcept;
  ~CmsVerifier();

  // The data the SignedData carries inside itself, before Finish; nullopt when it is detached or not a
  // usable SignedData. Not verified until Finish is.
  std::optional<Bytes> EncapsulatedContent() const;
  void Update(ByteView data);
  CmsVerifyResult Finish();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

CmsVerifyResult CmsVerify(ByteView signedDataDer, std::span<const ByteView> ranges,
                          std::span<const Certificate> knownCertificates = {});
inline CmsVerifyResult CmsVerify(ByteView signedDataDer, std::initializer_list<ByteView> ranges) {
  return CmsVerify(signedDataDer, std::span<const ByteView>(ranges.begin(), ranges.size()));
}

// The data a SignedData carries inside itself (its encapsulated content); nullopt when the bytes are not a
// SignedData or it is detached. What it carries is not verified here: verify it with CmsVerify.
std::optional<Bytes> CmsEncapsulatedContent(ByteView signedDataDer);

// Strips the zero padding a PDF signature's /Contents carries after the DER SignedData: the length of
// the first DER element, or 0 when the bytes do not start with a complete one.
std::size_t DerElementLength(ByteView bytes);

}  // namespace sealrun::platform::crypto
