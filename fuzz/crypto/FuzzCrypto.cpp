// Certificates and CMS signatures read from untrusted bytes (PDF signature contents, server answers,
// certificate files): whatever the input, reading gives a result and never crashes.
#include <cstddef>
#include <cstdint>

#include "platform/crypto/Certificate.h"
#include "platform/crypto/Cms.h"

namespace crypto = sealrun::platform::crypto;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const crypto::ByteView bytes(data, size);
  (void)crypto::Certificate::FromBytes(bytes);
  const size_t split = size / 2;
  (void)crypto::CmsVerify(bytes, {bytes.subspan(0, split), bytes.subspan(split)});
  (void)crypto::DerElementLength(bytes);
  return 0;
}
