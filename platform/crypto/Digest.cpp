#include "platform/crypto/Digest.h"

#include "platform/crypto/OpenSslHandles.h"

namespace sealrun::platform::crypto {

class Digest::Impl {
 public:
  EvpMdCtxPtr context;
};

std::size_t DigestSize(DigestAlgorithm algorithm) { return algorithm == DigestAlgorithm::Sha1 ? 20 : 32; }

Digest::Digest(DigestAlgorithm algorithm) : algorithm_(algorithm), impl_(std::make_unique<Impl>()) {
  impl_->context.reset(EVP_MD_CTX_new());
  // Only allocation can make these fail; an unusable context then yields an empty digest.
  if (impl_->context && EVP_DigestInit_ex(impl_->context.get(), DigestMd(algorithm), nullptr) != 1) {
    impl_->context.reset();
  }
}

Digest::~Digest() = default;
Digest::Digest(Digest&&) noexcept = default;
Digest& Digest::operator=(Digest&&) noexcept = default;

void Digest::Update(ByteView data) {
  if (impl_ && impl_->context && !data.empty()) EVP_DigestUpdate(impl_->context.get(), data.data(), data.size());
}

Bytes Digest::Final() {
  if (!impl_ || !impl_->context) return {};
  Bytes digest(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(impl_->context.get(), digest.data(), &length) != 1) return {};
  digest.resize(length);
  EVP_DigestInit_ex(impl_->context.get(), DigestMd(algorithm_), nullptr);
  return digest;
}

Bytes ComputeDigest(DigestAlgorithm algorithm, std::span<const ByteView> ranges) {
  Digest digest(algorithm);
  for (const ByteView range : ranges) digest.Update(range);
  return digest.Final();
}

}  // namespace sealrun::platform::crypto
