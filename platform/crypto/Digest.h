#pragma once
// SHA-1 and SHA-256 digests, fed in pieces (byte ranges of a file) or at once.
#include <initializer_list>
#include <memory>
#include <span>

#include "platform/crypto/Bytes.h"

namespace sealrun::platform::crypto {

enum class DigestAlgorithm { Sha1, Sha256 };

// 20 for SHA-1, 32 for SHA-256.
std::size_t DigestSize(DigestAlgorithm algorithm);

class Digest {
 public:
  explicit Digest(DigestAlgorithm algorithm);
  ~Digest();
  Digest(Digest&&) noexcept;
  Digest& operator=(Digest&&) noexcept;
  Digest(const Digest&) = delete;
  Digest& operator=(const Digest&) = delete;

  DigestAlgorithm Algorithm() const { return algorithm_; }
  void Update(ByteView data);
  // The digest of everything fed so far. Afterwards the object starts over, empty.
  Bytes Final();

 private:
  class Impl;
  DigestAlgorithm algorithm_;
  std::unique_ptr<Impl> impl_;
};

// The digest of the ranges taken in order, as if concatenated.
Bytes ComputeDigest(DigestAlgorithm algorithm, std::span<const ByteView> ranges);
inline Bytes ComputeDigest(DigestAlgorithm algorithm, std::initializer_list<ByteView> ranges) {
  return ComputeDigest(algorithm, std::span<const ByteView>(ranges.begin(), ranges.size()));
}
inline Bytes Sha1(ByteView data) { return ComputeDigest(DigestAlgorithm::Sha1, {data}); }
inline Bytes Sha256(ByteView data) { return ComputeDigest(DigestAlgorithm::Sha256, {data}); }

}  // namespace sealrun::platform::crypto
