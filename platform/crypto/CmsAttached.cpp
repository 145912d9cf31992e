#include <climits>

#include "platform/crypto/Cms.h"
#include "platform/crypto/OpenSslHandles.h"

namespace sealrun::platform::crypto {

Result<Bytes> CmsSignAttached(const Certificate& signer, const PrivateKey& key, ByteView data,
                              std::span<const Certificate> extra) {
  if (data.size() > static_cast<std::size_t>(INT_MAX)) return Error{ErrorCode::InvalidInput, "the data is too large"};
  X509StackPtr chain(sk_X509_new_null());
  if (!chain) return OpenSslError(ErrorCode::Failed, "no certificate list");
  for (const Certificate& certificate : extra) {
    X509* x509 = certificate.GetImpl().x509.get();
    if (sk_X509_push(chain.get(), x509) <= 0) return OpenSslError(ErrorCode::Failed, "no certificate list");
    X509_up_ref(x509);
  }
  const BioPtr input = MemoryBio(data);
  if (!input) return OpenSslError(ErrorCode::Failed, "no input");
  // Binary: the data is signed byte for byte, without line-end translation.
  constexpr unsigned int kFlags = CMS_BINARY | CMS_NOSMIMECAP;
  const CmsPtr cms(CMS_sign(signer.GetImpl().x509.get(), key.GetImpl().key.get(), chain.get(), input.get(), kFlags));
  if (!cms) return OpenSslError(ErrorCode::Failed, "the message cannot be signed");
  unsigned char* der = nullptr;
  const int length = i2d_CMS_ContentInfo(cms.get(), &der);
  if (length <= 0 || der == nullptr) return OpenSslError(ErrorCode::Failed, "the signed message cannot be written");
  Bytes bytes(der, der + length);
  OPENSSL_free(der);
  return bytes;
}

}  // namespace sealrun::platform::crypto
