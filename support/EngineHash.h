#pragma once
// Owner of one PDF engine hash handle. The handle may be null (the engine refused to create it); update and
// final then do nothing and report kNoHash.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "external/QpHandles.h"

namespace sealrun::support {

class EngineHash {
 public:
  static constexpr int kNoHash = -1;

  EngineHash() = default;
  // Takes ownership of a handle (null allowed).
  explicit EngineHash(qp_hash handle) noexcept : handle_(handle) {}
  // A new engine hash of the given kind (QP_HASH_SHA1, ...); null when the engine fails.
  static EngineHash Create(int kind);

  bool IsNull() const { return handle_ == nullptr; }
  qp_hash Handle() const { return handle_.get(); }

  // The engine's result, or kNoHash when there is no handle.
  int Update(std::span<const std::uint8_t> bytes);
  // Writes the digest into out and its size into digestLength; digestLength is 0 when nothing was written.
  int Final(std::span<std::uint8_t> out, std::size_t& digestLength);
  // The digest, or an empty buffer when there is no handle or the engine fails.
  std::vector<std::uint8_t> Final();
  // Releases the handle through the engine and clears it; nothing happens when it is already null.
  void Destroy() { handle_.reset(); }

 private:
  external::HashHandle handle_;
};

}  // namespace sealrun::support
