#include "components/certlib/OpenSslHolders.h"

#include <openssl/err.h>

#include <climits>

#include "platform/crypto/PemArmour.h"

namespace sealrun::components::certlib {

using platform::crypto::ByteView;
using platform::crypto::Bytes;

X509Holder ToX509(const platform::crypto::Certificate& certificate) {
  const Bytes der = certificate.Der();
  if (der.empty() || der.size() > static_cast<std::size_t>(LONG_MAX)) return nullptr;
  const unsigned char* cursor = der.data();
  X509Holder x509(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
  ERR_clear_error();
  return x509;
}

X509CrlHolder ParseRevocationList(ByteView bytes) {
  const std::string_view text = platform::crypto::AsChars(bytes);
  Bytes der;
  if (platform::crypto::HasPemArmour(text)) {
    auto block = platform::crypto::FindPemBlock(text, "X509 CRL");
    if (!block) return nullptr;
    der = std::move(block->der);
  } else {
    der.assign(bytes.begin(), bytes.end());
  }
  if (der.empty() || der.size() > static_cast<std::size_t>(LONG_MAX)) return nullptr;
  const unsigned char* cursor = der.data();
  X509CrlHolder crl(d2i_X509_CRL(nullptr, &cursor, static_cast<long>(der.size())));
  // Trailing bytes after the list mean the file is not one list.
  if (crl && cursor != der.data() + der.size()) crl.reset();
  ERR_clear_error();
  return crl;
}

}  // namespace sealrun::components::certlib
